#include "userfeedback.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>

namespace {

// The program's entry in the desktop's icon theme and application list.
const QString appId = QStringLiteral("org.quarb.FileSplitter");
// Let the notification server decide how long the notification stays.
constexpr int serverTimeout = -1;

} // namespace

void UserFeedback::message(QWidget& parent, const QString& text, const QString& details)
{
    QMessageBox box(QMessageBox::NoIcon, parent.windowTitle(), text, QMessageBox::Ok, &parent);
    box.setTextFormat(Qt::PlainText);
    if (!details.isEmpty()) {
        // Plain text in a scrolling area of its own. It is hidden behind a button at first:
        // the button that the box adds for it is pressed, since the details are what the
        // message is about.
        box.setDetailedText(details);
        for (QAbstractButton* button : box.buttons()) {
            if (box.buttonRole(button) == QMessageBox::ActionRole)
                button->click();
        }
    }
    box.exec();
}

bool UserFeedback::confirm(QWidget& parent, const QString& question)
{
    QMessageBox box(QMessageBox::Question, parent.windowTitle(), question,
                    QMessageBox::Yes | QMessageBox::No, &parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    m_question = &box;
    const bool yes = box.exec() == QMessageBox::Yes;
    m_question = nullptr;
    return yes;
}

void UserFeedback::withdrawQuestion()
{
    if (auto* box = qobject_cast<QMessageBox*>(m_question.data()))
        box->done(QMessageBox::No);
}

void UserFeedback::beep()
{
    QApplication::beep();
}

void UserFeedback::notify(QWidget& window, const QString& title, const QString& text)
{
    QApplication::alert(&window);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), appId);
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout).
    // The body may be read as markup by the server: the text goes in escaped.
    call << window.windowTitle() << uint(0) << appId << title << text.toHtmlEscaped() << QStringList()
         << hints << serverTimeout;
    // Sent without waiting for the reply: a missing or slow service costs the window nothing.
    bus.send(call);
}

bool UserFeedback::openFolder(const std::string& folderPath)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folderPath))));
}

UserFeedback& UserFeedback::system()
{
    static UserFeedback feedback;
    return feedback;
}
