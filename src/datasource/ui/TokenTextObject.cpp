#include "datasource/ui/TokenTextObject.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QTextCharFormat>
#include <QTextDocument>

namespace {

constexpr qreal Padding = 6.0;

} // namespace

QSizeF TokenTextObject::intrinsicSize(QTextDocument* document, int, const QTextFormat& format) {
    const QFontMetricsF metrics(document->defaultFont());
    const QString title = format.stringProperty(TitleProperty);
    return {metrics.horizontalAdvance(title) + 2 * Padding + 2, metrics.height() + 2};
}

void TokenTextObject::drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int,
                                 const QTextFormat& format) {
    const QPalette palette = QApplication::palette();
    const QRectF pill = rect.adjusted(1, 1, -1, -1);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor fill = palette.color(QPalette::Highlight);
    fill.setAlpha(60);
    painter->setPen(QPen(palette.color(QPalette::Highlight), 1));
    painter->setBrush(fill);
    painter->drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
    painter->setPen(palette.color(QPalette::Text));
    painter->setFont(document->defaultFont());
    painter->drawText(pill, Qt::AlignCenter, format.stringProperty(TitleProperty));
    painter->restore();
}
