#pragma once

#include <QTextEdit>
#include <QVariantList>
#include <functional>

/// Edits a column format as literal text and column tokens. A token is one character of the
/// text drawn as a label with the column's title, so it is moved over, selected and deleted as a
/// whole. Copying puts the selection on the clipboard as plain text (each token's code, each
/// run of text in single quotes) and as the format itself, which pasting here prefers.
class NVSCGDataSourceTokenField : public QTextEdit {
    Q_OBJECT
  public:
    /// The MIME type carrying the selected part of the format exactly.
    static QString formatMimeType() { return QStringLiteral("application/x-graflink-column-format"); }
    /// Turns format text into items: strings and token dictionaries ("tokenTitle", "tokenCode").
    using Tokenizer = std::function<QVariantList(const QString& format)>;

    explicit NVSCGDataSourceTokenField(QWidget* parent = nullptr);

    void setTokenizer(Tokenizer tokenizer) { m_tokenizer = std::move(tokenizer); }
    /// Shows `format` (without announcing an edit); the caret goes to the end.
    void setFormat(const QString& format);
    QString format() const;
    /// The items shown, in order: strings and token dictionaries.
    QVariantList objectValue() const;
    /// Inserts a token at the caret and puts the caret just behind it.
    void insertToken(const QString& code, const QString& title);
    /// The plain-text form of items: each token's code, each string in single quotes.
    static QString pasteboardText(const QVariantList& items);

  Q_SIGNALS:
    /// The user changed the format (typing, pasting, deleting, inserting a token).
    void formatEdited(const QString& format);
    /// Return was pressed: the edit is done.
    void editingFinished();

  protected:
    QMimeData* createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void insertItems(const QVariantList& items);
    QVariantList itemsBetween(int start, int end) const;
    void textWasEdited();

    Tokenizer m_tokenizer;
    bool m_settingFormat = false;
};
