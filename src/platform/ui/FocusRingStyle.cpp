#include "platform/ui/FocusRingStyle.h"

#include <QPainter>
#include <QStyleOption>

void FocusRingStyle::drawRing(const QStyleOption& option, QPainter& painter, QRect rect) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(option.palette.color(QPalette::Active, QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 3, 3);
    painter.restore();
}

void FocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
    if (element == PE_FrameFocusRect) {
        // Check boxes, radio buttons and the current item of lists and tables.
        drawRing(*option, *painter, option->rect);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element == PE_PanelLineEdit && (option->state & State_HasFocus) && option->rect.height() > 8)
        drawRing(*option, *painter, option->rect);
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element == CE_PushButton && (option->state & State_HasFocus))
        drawRing(*option, *painter, option->rect);
}

void FocusRingStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                        QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if ((control == CC_SpinBox || control == CC_ComboBox || control == CC_ToolButton) &&
        (option->state & State_HasFocus))
        drawRing(*option, *painter, option->rect);
}
