#pragma once

#include <QProxyStyle>

/// The platform's style with a focus ring a keyboard user sees across the room: two pixels of the
/// highlight colour around the control (or item) that has the focus, where the base style draws a
/// faint or dotted frame or none.
class FocusRingStyle : public QProxyStyle {
    Q_OBJECT
  public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;

  private:
    static void drawRing(const QStyleOption& option, QPainter& painter, QRect rect);
};
