#include "backgroundread.h"

#include <QPainter>
#include <QTimer>

BackgroundRead::BackgroundRead(QObject& owner, QWidget& view) : m_owner(owner), m_view(view)
{
    m_channel->owner = &owner;
}

BackgroundRead::~BackgroundRead()
{
    const std::lock_guard lock(m_channel->mutex);
    m_channel->owner = nullptr;
}

std::uint64_t BackgroundRead::begin()
{
    supersede();
    m_reading = true;
    const std::uint64_t id = m_latest;
    QTimer::singleShot(noteDelay, &m_owner, [this, id] {
        if (m_reading && m_latest == id && !m_noteShown) {
            m_noteShown = true;
            m_view.update();
        }
    });
    return id;
}

void BackgroundRead::supersede()
{
    {
        const std::lock_guard lock(m_channel->mutex);
        m_latest = ++m_channel->latest;
    }
    m_reading = false;
    if (m_noteShown) {
        m_noteShown = false;
        m_view.update();
    }
}

bool BackgroundRead::arrive(std::uint64_t id)
{
    if (id != m_latest || !m_reading)
        return false;
    m_reading = false;
    if (m_noteShown) {
        m_noteShown = false;
        m_view.update();
    }
    return true;
}

void BackgroundRead::paintNote(QWidget& viewport)
{
    QPainter painter(&viewport);
    painter.fillRect(viewport.rect(), viewport.palette().color(QPalette::Base));
    painter.setPen(viewport.palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport.rect(), Qt::AlignCenter, QStringLiteral("Reading\u2026"));
}
