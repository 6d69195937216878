#include "datasource/ui/ColumnFormatPopover.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceTokenizer.h"
#include "datasource/ui/DataSourceTableModel.h"
#include "datasource/ui/NVSCGDataSourceTokenField.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

ColumnFormatPopover::ColumnFormatPopover(NVSCGDataSource& dataSource, QWidget* parent)
    : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint), m_dataSource(dataSource),
      m_heading(new QLabel(this)), m_tokenField(new NVSCGDataSourceTokenField(this)),
      m_columnList(new QListWidget(this)), m_preview(new QLabel(this)),
      m_done(new QPushButton(tr("Done"), this)) {
    setWindowTitle(tr("Format of Column"));
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(tr("Column format"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    auto* formatLabel = new QLabel(tr("&Format:"), this);
    formatLabel->setBuddy(m_tokenField);
    layout->addWidget(formatLabel);
    m_tokenField->setAccessibleName(tr("Format"));
    m_tokenField->setFixedHeight(3 * fontMetrics().height() + 12);
    m_tokenField->setTokenizer([this](const QString& text) { return m_dataSource.tokenizeString(text); });
    layout->addWidget(m_tokenField);
    auto* listLabel = new QLabel(tr("Insert &column (or click a column in the table):"), this);
    listLabel->setBuddy(m_columnList);
    listLabel->setWordWrap(true);
    layout->addWidget(listLabel);
    m_columnList->setAccessibleName(tr("Insert column"));
    m_columnList->setMaximumHeight(6 * fontMetrics().height());
    layout->addWidget(m_columnList);
    m_preview->setAccessibleName(tr("First row"));
    m_preview->setWordWrap(true);
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_preview);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_done->setAccessibleName(tr("Done"));
    m_done->setDefault(true);
    buttons->addWidget(m_done);
    layout->addLayout(buttons);
    resize(420, sizeHint().height());

    connect(m_done, &QPushButton::clicked, this, &QWidget::hide);
    connect(m_tokenField, &NVSCGDataSourceTokenField::editingFinished, this, &QWidget::hide);
    connect(m_tokenField, &NVSCGDataSourceTokenField::formatEdited, this, [this](const QString& format) {
        if (m_column && format != m_column->format())
            Q_EMIT formatEdited(m_column, format);
        updatePreview();
    });
    const auto insertFromList = [this](QListWidgetItem* item) {
        if (item) {
            insertColumnToken(item->data(Qt::UserRole).toString());
            m_tokenField->setFocus();
        }
    };
    connect(m_columnList, &QListWidget::itemActivated, this, insertFromList);
}

void ColumnFormatPopover::showForColumn(const NVSCGDataSourceColumnPtr& column,
                                        const QPoint& globalPosition) {
    if (m_column)
        disconnect(m_column.get(), nullptr, this, nullptr);
    m_column = column;
    if (!column)
        return;
    m_heading->setText(tr("<b>Format of column “%1”</b>").arg(column->title().toHtmlEscaped()));
    m_tokenField->setFormat(column->format());
    // Undo and redo change the format from outside.
    connect(column.get(), &NVSCGDataSourceColumn::formatChanged, this, [this] {
        if (m_column && m_column->format() != m_tokenField->format())
            m_tokenField->setFormat(m_column->format());
        updatePreview();
    });
    fillColumnList();
    updatePreview();
    // Below the column, but wholly on its screen: under the rightmost column it would reach past
    // the edge, Done with it.
    adjustSize();
    QPoint position = globalPosition;
    if (const QScreen* screen = QGuiApplication::screenAt(globalPosition)) {
        const QRect available = screen->availableGeometry();
        position.setX(std::clamp(position.x(), available.left(),
                                 std::max(available.left(), available.right() - width())));
        position.setY(std::clamp(position.y(), available.top(),
                                 std::max(available.top(), available.bottom() - height())));
    }
    move(position);
    show();
    raise();
    activateWindow();
    m_tokenField->setFocus();
    m_tokenField->moveCursor(QTextCursor::End);
}

void ColumnFormatPopover::fillColumnList() {
    m_columnList->clear();
    for (const NVSCGDataSourceColumnPtr& column : m_dataSource.columns()) {
        if (column == m_column)
            continue;
        auto* item = new QListWidgetItem(column->title().isEmpty() ? tr("(untitled)") : column->title());
        item->setData(Qt::UserRole, column->uniqueID());
        m_columnList->addItem(item);
    }
}

void ColumnFormatPopover::insertColumnToken(const QString& uniqueID) {
    const QVariantMap token =
        m_dataSource.tokenDictionaryFromTokenString(NVSCGDataSourceTokenizer::tokenCode(uniqueID));
    m_tokenField->insertToken(token.value(QStringLiteral("tokenCode")).toString(),
                              token.value(QStringLiteral("tokenTitle")).toString());
}

void ColumnFormatPopover::updatePreview() {
    const NVSCGDataSourceNodePtr first = m_dataSource.contentNodeAtIndex(0);
    if (!m_column || !first) {
        m_preview->setText(tr("First row: no rows yet"));
        return;
    }
    m_preview->setText(tr("First row: %1").arg(DataSourceTableModel::cellValue(*first, *m_column, false)));
}

void ColumnFormatPopover::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QFrame::keyPressEvent(event);
}

void ColumnFormatPopover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    Q_EMIT closed();
}

bool ColumnFormatPopover::isEditingColumnFormat() const {
    return isVisible() && m_column && focusWidget() == m_tokenField;
}
