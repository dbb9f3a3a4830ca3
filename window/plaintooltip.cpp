#include "plaintooltip.h"

#include <QToolTip>

QString PlainToolTip::of(const QString& text)
{
    // Starting with a tag, the tooltip is always read as rich text, and everything the text
    // holds is escaped within it; "pre" keeps runs of spaces and line breaks as they are.
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

void PlainToolTip::show(const QPoint& globalPos, const QString& text, QWidget* widget)
{
    QToolTip::showText(globalPos, of(text), widget);
}
