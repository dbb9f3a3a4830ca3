#pragma once

#include "userfeedback.h"

#include <QStringList>

// Records every message and beep instead of showing or sounding it, with what the window
// looked like at that moment: the message's title, which widget had the focus, and whether
// the window's timer was running.
class RecordingFeedback : public UserFeedback {
public:
    void message(QWidget& parent, const QString& text) override;
    void beep() override;

    QStringList messages() const;
    int beeps() const;

    // One line per call, in order: "message: <title> | <text> | focus <name>" or
    // "beep | timer <on/off>".
    QStringList events;
    QWidget* window = nullptr;
};
