#pragma once

#include <QLabel>

// A one-line label for names and paths, which may be longer than the room the window has for
// them. The text is shown as plain text, never read as markup; what does not fit is shortened
// with an ellipsis, by default in the middle (the start of a path and the end of a name stay
// readable), and the whole text shows as a tooltip. text() and what a screen reader hears
// stay whole: the label's accessible name is its text (what the label is for goes in its
// accessible description), and a screen reader is told when the text changes.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // As QLabel::setText(); a change of the text is announced as a change of the name.
    void setText(const QString& text);

    // Where the text is shortened: Qt::ElideMiddle (the default) or Qt::ElideRight.
    void setElideMode(Qt::TextElideMode mode);

    // Whether the text is shortened at the label's present width.
    bool isElided() const;
    // The text as painted.
    QString shownText() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode m_mode = Qt::ElideMiddle;
};
