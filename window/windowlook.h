#pragma once

#include <QColor>

class QAbstractButton;
class QWidget;

// The window's own colours, kept whatever widget style the desktop picks.
class WindowLook {
public:
    // The window's light orange.
    static const QColor background;

    // Paints a push or tool button in the window's colour under every style: the colour of
    // its face, a thin frame, a lighter face under the mouse, a darker one while pressed,
    // greyed text when disabled. Styles that draw their own gradients or theme images would
    // otherwise ignore the button colour of the palette.
    static void paintButton(QAbstractButton& button);

    // Gives option buttons, labels and panels the window's colour.
    static void paintPlain(QWidget& widget);
};
