#pragma once

#include "form1.h"
#include "heldlayer.h"
#include "recordingfeedback.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// One test's world: a fresh temporary folder, made the current directory (where both sides
// of the window start), optionally filled before the window opens; a settings location of its
// own, empty unless one is given (so the window starts as on its first run); then the window,
// shown, active, its lists read, and with its timer stopped so that the test steps it (a split
// or a join starts it again when it ends). Its runs write through `held`, which lets everything
// through until armed; it talks to the user through `feedback`, or through the real boxes
// when `feedback` is the system's. Everything goes on destruction, and the former current
// directory comes back.
class WindowFixture {
public:
    struct Options {
        QString settingsPath; // empty: a new, empty location
        bool realFeedback = false;
    };

    explicit WindowFixture(const std::function<void(const QDir&)>& prepare = {});
    WindowFixture(const std::function<void(const QDir&)>& prepare, const Options& options);
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    bool isReady() const { return m_ready; }
    // Waits until no list of the window is reading a folder and nothing else is looked up.
    bool settle();
    // Waits until the window's run has ended and the lists it re-reads have been read.
    bool waitForRun();
    Form1& form() { return *m_form; }
    QDir dir() const { return QDir(m_dir.path()); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    template <class Widget>
    Widget* find(const char* name)
    {
        return m_form->findChild<Widget*>(QString::fromLatin1(name));
    }
    // The names one of the window's file lists shows, top to bottom.
    QStringList listed(const char* name);

    RecordingFeedback feedback;
    HeldLayer held;
    // Whether the timer was running when the window had just opened.
    bool timerRanAtStart = false;

private:
    QString m_former;
    QTemporaryDir m_dir;
    QTemporaryDir m_settings;
    std::unique_ptr<Form1> m_form;
    bool m_ready = false;
};
