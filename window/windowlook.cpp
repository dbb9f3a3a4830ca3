#include "windowlook.h"

#include <QAbstractButton>
#include <QPalette>
#include <QPushButton>

namespace {

// The frame's brown and the shades of the face, on the window's orange.
const QColor frameColour(150, 100, 60);
constexpr int hoverLighter = 108; // percent
constexpr int pressedDarker = 112;
constexpr int disabledText = 140;

} // namespace

const QColor WindowLook::background(255, 192, 128);

void WindowLook::paintButton(QAbstractButton& button)
{
    paintPlain(button);
    const QString sheet = QStringLiteral(
        "%1 { background-color: %2; border: 1px solid %3; border-radius: 3px; padding: 2px 6px; }"
        "%1:hover { background-color: %4; }"
        "%1:pressed, %1:checked { background-color: %5; }"
        "%1:disabled { color: %6; }");
    button.setStyleSheet(sheet.arg(QString::fromLatin1(button.metaObject()->className()),
                                   background.name(), frameColour.name(),
                                   background.lighter(hoverLighter).name(), background.darker(pressedDarker).name(),
                                   frameColour.lighter(disabledText).name()));
}

QPushButton* WindowLook::pushButton(const QString& caption, QWidget& parent)
{
    auto* button = new QPushButton(caption, &parent);
    button->setAutoDefault(true);
    paintButton(*button);
    return button;
}

void WindowLook::paintPlain(QWidget& widget)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::Window, background);
    widget.setPalette(palette);
}
