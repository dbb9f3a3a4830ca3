#include "userfeedback.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>

void UserFeedback::message(QWidget& parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, parent.windowTitle(), text, QMessageBox::Ok, &parent);
    box.exec();
}

void UserFeedback::beep()
{
    QApplication::beep();
}

UserFeedback& UserFeedback::system()
{
    static UserFeedback feedback;
    return feedback;
}
