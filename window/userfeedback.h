#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <string>

class QWidget;

// How the window talks to the person in front of it and to the desktop: modal messages and
// questions, the beep, notifications, and the file manager. The default shows real boxes,
// sounds the system beep and asks the desktop; tests put their own in.
class UserFeedback {
public:
    virtual ~UserFeedback() = default;

    // A modal box with the text and only an OK button, titled with the parent's caption.
    // `details`, when there are any, go below the text in an area of their own that scrolls
    // (a list of a thousand names leaves the text and the button on the screen), shown at once.
    virtual void message(QWidget& parent, const QString& text, const QString& details = QString());
    // A modal box with the question and Yes and No buttons (No is the default, as is Escape).
    // True when Yes was chosen.
    virtual bool confirm(QWidget& parent, const QString& question);
    // Closes the question confirm() is asking, if any, as if No had been chosen: what it asked
    // about has settled itself meanwhile.
    virtual void withdrawQuestion();
    virtual void beep();
    // Tells the desktop that something the user waits for is done: a notification through the
    // freedesktop notification service on the session bus, when there is one, and the
    // window's attention hint. Returns at once; without a session bus only the hint is given.
    virtual void notify(QWidget& window, const QString& title, const QString& text);
    // Shows a folder in the desktop's file manager. Returns at once; false when the desktop
    // has no program that shows folders.
    virtual bool openFolder(const std::string& folderPath);

    // The feedback used when the window is given none.
    static UserFeedback& system();

private:
    // The box confirm() shows, while it is open.
    QPointer<QObject> m_question;
};
