#include "recordingfeedback.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

void RecordingFeedback::message(QWidget& parent, const QString& text, const QString& messageDetails)
{
    details << messageDetails;
    const QWidget* focus = QApplication::focusWidget();
    events << QStringLiteral("message: %1 | %2 | focus %3")
                  .arg(parent.windowTitle(), text,
                       focus != nullptr ? focus->objectName() : QStringLiteral("none"));
}

bool RecordingFeedback::confirm(QWidget&, const QString& question)
{
    events << QStringLiteral("question: %1").arg(question);
    m_withdrawn = false;
    if (whileAsking)
        whileAsking();
    return answer && !m_withdrawn;
}

void RecordingFeedback::withdrawQuestion()
{
    m_withdrawn = true;
    events << QStringLiteral("question withdrawn");
}

void RecordingFeedback::notify(QWidget&, const QString& title, const QString& text)
{
    events << QStringLiteral("notify: %1 | %2").arg(title, text);
}

bool RecordingFeedback::openFolder(const std::string& folderPath)
{
    events << QStringLiteral("open folder: %1").arg(QString::fromStdString(folderPath));
    return folderOpens;
}

void RecordingFeedback::beep()
{
    const auto* timer = window != nullptr ? window->findChild<QTimer*>(QStringLiteral("Timer1")) : nullptr;
    events << QStringLiteral("beep | timer %1")
                  .arg(timer != nullptr && timer->isActive() ? QStringLiteral("on") : QStringLiteral("off"));
}

QStringList RecordingFeedback::messages() const
{
    QStringList result;
    for (const QString& event : events) {
        if (event.startsWith(QStringLiteral("message: ")))
            result << event.section(QStringLiteral(" | "), 1, 1);
    }
    return result;
}

int RecordingFeedback::beeps() const
{
    return int(events.filter(QStringLiteral("beep")).size());
}
