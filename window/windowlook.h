#pragma once

#include <QColor>

class QAbstractButton;
class QPushButton;
class QString;
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
    // A push button as all of the window's are: Return and Enter press it while it has the
    // focus, as Space does, and it is painted by paintButton().
    static QPushButton* pushButton(const QString& caption, QWidget& parent);

    // Gives option buttons, labels and panels the window's colour.
    static void paintPlain(QWidget& widget);
};
