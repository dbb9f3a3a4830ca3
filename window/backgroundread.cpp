#include "backgroundread.h"

#include <QPainter>
#include <QTimer>

BackgroundRead::BackgroundRead(QWidget& view) : m_view(view)
{
    m_channel->reader = this;
    connect(this, &BackgroundRead::resultReady, this, &BackgroundRead::collect, Qt::QueuedConnection);
}

BackgroundRead::~BackgroundRead()
{
    const std::lock_guard lock(m_channel->mutex);
    m_channel->reader = nullptr;
    m_channel->ready = nullptr;
}

std::uint64_t BackgroundRead::begin()
{
    supersede();
    m_reading = true;
    const std::uint64_t id = m_latest;
    QTimer::singleShot(noteDelay, this, [this, id] {
        if (m_reading && m_latest == id)
            showNote(true);
    });
    return id;
}

void BackgroundRead::supersede()
{
    {
        const std::lock_guard lock(m_channel->mutex);
        m_latest = ++m_channel->latest;
        m_channel->ready = nullptr;
    }
    m_reading = false;
    showNote(false);
}

void BackgroundRead::collect()
{
    std::function<void()> ready;
    {
        const std::lock_guard lock(m_channel->mutex);
        ready = std::exchange(m_channel->ready, nullptr);
    }
    if (!ready)
        return;
    m_reading = false;
    showNote(false);
    ready();
}

void BackgroundRead::showNote(bool shown)
{
    if (m_noteShown == shown)
        return;
    m_noteShown = shown;
    m_view.update();
}

void BackgroundRead::paintNote(QWidget& viewport)
{
    QPainter painter(&viewport);
    painter.fillRect(viewport.rect(), viewport.palette().color(QPalette::Base));
    painter.setPen(viewport.palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport.rect(), Qt::AlignCenter, BackgroundRead::tr("Reading\u2026"));
}
