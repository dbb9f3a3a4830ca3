#pragma once

#include "userfeedback.h"

#include <QStringList>

#include <functional>

// Records every message, question, beep and notification instead of showing or sounding it,
// with what the window looked like at that moment: the message's title, which widget had the
// focus, and whether the window's timer was running. Questions get `answer`, unless withdrawn
// while `whileAsking` runs.
class RecordingFeedback : public UserFeedback {
public:
    void message(QWidget& parent, const QString& text, const QString& details = QString()) override;
    bool confirm(QWidget& parent, const QString& question) override;
    void withdrawQuestion() override;
    void beep() override;
    void notify(QWidget& window, const QString& title, const QString& text) override;
    bool openFolder(const std::string& folderPath) override;

    QStringList messages() const;
    // The details of every message, in order (empty for a message without).
    QStringList details;
    int beeps() const;

    // One line per call, in order: "message: <title> | <text> | focus <name>",
    // "question: <text>", "question withdrawn", "beep | timer <on/off>",
    // "notify: <title> | <text>" or "open folder: <path>".
    QStringList events;
    QWidget* window = nullptr;
    bool answer = false;
    // What happens while a question is open, as if the person had not answered yet.
    std::function<void()> whileAsking;
    // Whether the desktop has a program that shows folders.
    bool folderOpens = true;

private:
    bool m_withdrawn = false;
};
