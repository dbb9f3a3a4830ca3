#pragma once

#include <QObject>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// Reads of the file system for one list, each on a thread of its own, so that a slow or dead
// mount holds up only the read that touches it and never the window's thread. Each request
// supersedes those before it: only the latest one's result reaches the owner, on the owner's
// thread. A read that never returns (a dead network mount) keeps its thread until the process
// ends; nothing waits for it.
//
// While a read takes longer than `noteDelay`, isNoteShown() is true and the view is repainted,
// so the list can say that it is reading; quick reads show nothing.
class BackgroundRead {
public:
    static constexpr int noteDelay = 150; // milliseconds

    // The owner receives the results and must own this object (as a member); `view` is
    // repainted when the note comes and goes.
    BackgroundRead(QObject& owner, QWidget& view);
    // Results still on their way are dropped.
    ~BackgroundRead();
    BackgroundRead(const BackgroundRead&) = delete;
    BackgroundRead& operator=(const BackgroundRead&) = delete;

    // Runs `read` on a new thread; then `apply` on the owner's thread with its result, unless
    // another request came meanwhile. `read` must not touch the owner or any widget.
    template <class Result>
    void start(std::function<Result()> read, std::function<void(Result&)> apply);

    // Forgets the read under way, if any: its result will not be applied.
    void supersede();

    bool isReading() const { return m_reading; }
    bool isNoteShown() const { return m_noteShown; }

    // Paints the note into a list's viewport in place of its entries.
    static void paintNote(QWidget& viewport);

private:
    // What the threads share with the owner's side.
    struct Channel {
        std::mutex mutex;
        QObject* owner = nullptr; // cleared when the owner goes
        std::uint64_t latest = 0; // the request whose result is wanted
    };

    std::uint64_t begin();
    // On the owner's thread, when the result of request `id` arrives. False: it came too late.
    bool arrive(std::uint64_t id);

    QObject& m_owner;
    QWidget& m_view;
    std::shared_ptr<Channel> m_channel = std::make_shared<Channel>();
    std::uint64_t m_latest = 0; // the owner's copy of Channel::latest
    bool m_reading = false;
    bool m_noteShown = false;
};

template <class Result>
void BackgroundRead::start(std::function<Result()> read, std::function<void(Result&)> apply)
{
    const std::uint64_t id = begin();
    std::thread([channel = m_channel, id, read = std::move(read), apply = std::move(apply), this]() {
        auto result = std::make_shared<Result>(read());
        const std::lock_guard lock(channel->mutex);
        if (channel->owner == nullptr || channel->latest != id)
            return;
        // Runs only while the owner lives, and so does this object, its member.
        QMetaObject::invokeMethod(
            channel->owner,
            [this, id, result, apply] {
                if (arrive(id))
                    apply(*result);
            },
            Qt::QueuedConnection);
    }).detach();
}
