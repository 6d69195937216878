#include "datasource/ui/NVSCGDataSourceTokenField.h"

#include "datasource/ui/TokenTextObject.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

namespace {

const QString TitleKey = QStringLiteral("tokenTitle");
const QString CodeKey = QStringLiteral("tokenCode");

QString formatOf(const QVariantList& items) {
    QString text;
    for (const QVariant& item : items)
        text += item.typeId() == QMetaType::QVariantMap ? item.toMap().value(CodeKey).toString()
                                                        : item.toString();
    return text;
}

} // namespace

NVSCGDataSourceTokenField::NVSCGDataSourceTokenField(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    // Undo belongs to the document's window: each edit of the format is a step there.
    setUndoRedoEnabled(false);
    document()->documentLayout()->registerHandler(TokenTextObject::ObjectType, new TokenTextObject(this));
    connect(this, &QTextEdit::textChanged, this, &NVSCGDataSourceTokenField::textWasEdited);
}

void NVSCGDataSourceTokenField::setFormat(const QString& format) {
    m_settingFormat = true;
    clear();
    insertItems(m_tokenizer ? m_tokenizer(format) : QVariantList{format});
    m_settingFormat = false;
}

QString NVSCGDataSourceTokenField::format() const {
    return formatOf(objectValue());
}

QVariantList NVSCGDataSourceTokenField::objectValue() const {
    return itemsBetween(0, document()->characterCount());
}

QVariantList NVSCGDataSourceTokenField::itemsBetween(int start, int end) const {
    QVariantList items;
    QString literal;
    const auto flush = [&] {
        if (!literal.isEmpty())
            items.append(std::exchange(literal, QString()));
    };
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin() && block.position() > start && block.position() <= end)
            literal += QLatin1Char('\n');
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString text = fragment.text();
            const bool token = fragment.charFormat().objectType() == TokenTextObject::ObjectType;
            for (int i = 0; i < text.size(); ++i) {
                const int position = fragment.position() + i;
                if (position < start || position >= end)
                    continue;
                if (token && text[i] == QChar::ObjectReplacementCharacter) {
                    flush();
                    const QTextFormat format = fragment.charFormat();
                    items.append(
                        QVariantMap{{TitleKey, format.stringProperty(TokenTextObject::TitleProperty)},
                                    {CodeKey, format.stringProperty(TokenTextObject::CodeProperty)}});
                } else {
                    literal += text[i];
                }
            }
        }
    }
    flush();
    return items;
}

void NVSCGDataSourceTokenField::insertToken(const QString& code, const QString& title) {
    QTextCharFormat format;
    format.setObjectType(TokenTextObject::ObjectType);
    format.setProperty(TokenTextObject::CodeProperty, code);
    format.setProperty(TokenTextObject::TitleProperty, title);
    QTextCursor cursor = textCursor();
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
    // Text typed next is plain text, not part of the token.
    cursor.setCharFormat(QTextCharFormat());
    setTextCursor(cursor);
}

void NVSCGDataSourceTokenField::insertItems(const QVariantList& items) {
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    for (const QVariant& item : items) {
        if (item.typeId() == QMetaType::QVariantMap) {
            const QVariantMap token = item.toMap();
            insertToken(token.value(CodeKey).toString(), token.value(TitleKey).toString());
        } else {
            QTextCursor at = textCursor();
            at.insertText(item.toString(), QTextCharFormat());
            setTextCursor(at);
        }
    }
    cursor.endEditBlock();
}

QString NVSCGDataSourceTokenField::pasteboardText(const QVariantList& items) {
    QString text;
    for (const QVariant& item : items) {
        if (item.typeId() == QMetaType::QVariantMap)
            text += item.toMap().value(CodeKey).toString();
        else if (item.typeId() == QMetaType::QString)
            text += QStringLiteral("'%1'").arg(item.toString());
    }
    return text;
}

QMimeData* NVSCGDataSourceTokenField::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    const QVariantList items = itemsBetween(cursor.selectionStart(), cursor.selectionEnd());
    auto* mime = new QMimeData;
    mime->setText(pasteboardText(items));
    mime->setData(formatMimeType(), formatOf(items).toUtf8());
    return mime;
}

bool NVSCGDataSourceTokenField::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasFormat(formatMimeType()) || source->hasText();
}

void NVSCGDataSourceTokenField::insertFromMimeData(const QMimeData* source) {
    QString text = source->hasFormat(formatMimeType()) ? QString::fromUtf8(source->data(formatMimeType()))
                                                       : source->text();
    // A format is one line.
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    insertItems(m_tokenizer ? m_tokenizer(text) : QVariantList{text});
}

void NVSCGDataSourceTokenField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT editingFinished();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void NVSCGDataSourceTokenField::textWasEdited() {
    if (m_settingFormat)
        return;
    const QString edited = format();
    if (m_tokenizer) {
        // A token typed out as text ("<#…!>") becomes a token.
        const QVariantList shown = objectValue();
        const QVariantList wanted = m_tokenizer(edited);
        const auto tokens = [](const QVariantList& items) {
            return std::count_if(items.begin(), items.end(), [](const QVariant& item) {
                return item.typeId() == QMetaType::QVariantMap;
            });
        };
        if (tokens(wanted) > tokens(shown)) {
            QMetaObject::invokeMethod(
                this,
                [this, edited] {
                    setFormat(edited);
                    moveCursor(QTextCursor::End);
                },
                Qt::QueuedConnection);
        }
    }
    Q_EMIT formatEdited(edited);
}
