#pragma once

#include "userfeedback.h"

#include <QStringList>

// Records every message, question, beep and notification instead of showing or sounding it,
// with what the window looked like at that moment: the message's title, which widget had the
// focus, and whether the window's timer was running. Questions get `answer`.
class RecordingFeedback : public UserFeedback {
public:
    void message(QWidget& parent, const QString& text, const QString& details = QString()) override;
    bool confirm(QWidget& parent, const QString& question) override;
    void beep() override;
    void notify(QWidget& window, const QString& title, const QString& text) override;
    void openFolder(const std::string& folderPath) override;

    QStringList messages() const;
    // The details of every message, in order (empty for a message without).
    QStringList details;
    int beeps() const;

    // One line per call, in order: "message: <title> | <text> | focus <name>",
    // "question: <text>", "beep | timer <on/off>", "notify: <title> | <text>" or
    // "open folder: <path>".
    QStringList events;
    QWidget* window = nullptr;
    bool answer = false;
};
