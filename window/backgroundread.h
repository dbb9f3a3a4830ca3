#pragma once

#include "engine/fs/error.h"

#include <QObject>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// What a folder list's read of one folder found: the folder, as the list will show it, and
// the names of the entries it lists, or why the folder could not be read.
struct FolderRead {
    qfs::Error error;
    std::string path;
    std::vector<std::string> names;
};

// Reads of the file system for one list, each on a thread of its own, so that a slow or dead
// mount holds up only the read that touches it and never the window's thread. Each request
// supersedes those before it: only the latest one's result reaches the owner, on the owner's
// thread. A read that never returns (a dead network mount) keeps its thread until the process
// ends; nothing waits for it.
//
// While a read takes longer than `noteDelay`, isNoteShown() is true and the view is repainted,
// so the list can say that it is reading; quick reads show nothing.
class BackgroundRead : public QObject {
    Q_OBJECT

public:
    static constexpr int noteDelay = 150; // milliseconds

    // Lives on the owner's thread, as a member of the owner; `view` is repainted when the note
    // comes and goes.
    explicit BackgroundRead(QWidget& view);
    // Results still on their way are dropped.
    ~BackgroundRead() override;
    BackgroundRead(const BackgroundRead&) = delete;
    BackgroundRead& operator=(const BackgroundRead&) = delete;

    // Runs `read` on a new thread; then `apply` on this object's thread with its result, unless
    // another request came meanwhile. `read` must not touch the owner or any widget.
    template <class Result>
    void start(std::function<Result()> read, std::function<void(Result&)> apply);

    // Forgets the read under way, if any: its result will not be applied.
    void supersede();

    bool isReading() const { return m_reading; }
    bool isNoteShown() const { return m_noteShown; }

    // Paints the note into a list's viewport in place of its entries.
    static void paintNote(QWidget& viewport);

signals:
    // From a reading thread: the latest result waits in the channel. Queued to collect().
    void resultReady(QPrivateSignal);

private:
    // What the threads share with the owner's side, under the mutex.
    struct Channel {
        std::mutex mutex;
        BackgroundRead* reader = nullptr; // cleared when the reader goes
        std::uint64_t latest = 0;         // the request whose result is wanted
        std::function<void()> ready;      // applies that result
    };

    std::uint64_t begin();
    void collect();
    void showNote(bool shown);

    QWidget& m_view;
    std::shared_ptr<Channel> m_channel = std::make_shared<Channel>();
    std::uint64_t m_latest = 0; // this side's copy of Channel::latest
    bool m_reading = false;
    bool m_noteShown = false;
};

template <class Result>
void BackgroundRead::start(std::function<Result()> read, std::function<void(Result&)> apply)
{
    const std::uint64_t id = begin();
    std::thread([channel = m_channel, id, read = std::move(read), apply = std::move(apply)] {
        std::function<void()> ready = [apply, result = read()]() mutable { apply(result); };
        const std::lock_guard lock(channel->mutex);
        if (channel->reader == nullptr || channel->latest != id)
            return;
        channel->ready = std::move(ready);
        emit channel->reader->resultReady(QPrivateSignal());
    }).detach();
}
