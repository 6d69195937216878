#pragma once

#include <QObject>
#include <QTextObjectInterface>

/// Draws a column token inside a text edit: one character of the text (so the caret, Delete
/// and Backspace treat it as a whole) shown as a rounded label with the column's title.
class TokenTextObject : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
  public:
    static constexpr int ObjectType = QTextFormat::UserObject + 1;
    /// The token's code ("<#…!>") and the title shown.
    static constexpr int CodeProperty = QTextFormat::UserProperty + 1;
    static constexpr int TitleProperty = QTextFormat::UserProperty + 2;

    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                    const QTextFormat& format) override;
};
