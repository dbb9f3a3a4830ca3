#pragma once

#include <QString>

class QPoint;
class QWidget;

// Tooltips whose text shows exactly as it is. Qt takes a tooltip that looks like markup for
// rich text, so a file name such as "<h1>BIG<font color=red>RED" would show big and red;
// these carry the text escaped, every character literal, spaces and line breaks kept.
class PlainToolTip {
public:
    // The text as a tooltip (for Qt::ToolTipRole or QWidget::setToolTip) that shows literally.
    static QString of(const QString& text);
    // QToolTip::showText() for a text that shows literally.
    static void show(const QPoint& globalPos, const QString& text, QWidget* widget);
};
