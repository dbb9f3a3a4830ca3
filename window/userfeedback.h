#pragma once

class QString;
class QWidget;

// How the window talks to the person in front of it: modal messages and the beep.
// The default shows a real message box and sounds the system beep; tests put their own in.
class UserFeedback {
public:
    virtual ~UserFeedback() = default;

    // A modal box with the text and only an OK button, titled with the parent's caption.
    virtual void message(QWidget& parent, const QString& text);
    virtual void beep();

    // The feedback used when the window is given none.
    static UserFeedback& system();
};
