#include "runner.h"

#include "joiner.h"
#include "splitter.h"
#include "verifier.h"

#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

namespace {

constexpr double nanosecondsPerSecond = 1e9;
constexpr int thousandths = 1000;

} // namespace

// Where the worker leaves its reports for the owner's thread. Every member is guarded by the
// mutex; the worker asks for a delivery only when none is asked for yet, so the owner's event
// queue holds at most one of them (and one more for the end) whatever the worker reports.
class RunMailbox {
public:
    struct Notice {
        enum class Kind { CheckFailed, FolderNameShown, FolderOpened, UnitDefaulted, Pieces, FolderShown };
        Kind kind;
        std::string text;
        int number = 0;
        std::vector<std::string> names; // Kind::Pieces
    };

    struct Batch {
        std::vector<Notice> notices;
        bool hasProgress = false;
        std::uint64_t done = 0;
        std::uint64_t total = 0;
        std::optional<RunOutcome> outcome;
    };

    explicit RunMailbox(std::function<void()> wakeOwner) : wake(std::move(wakeOwner)) {}

    void post(Notice notice)
    {
        std::unique_lock lock(mutex);
        pending.notices.push_back(std::move(notice));
        wakeOnce(lock);
    }

    void piece(const std::string& name)
    {
        std::unique_lock lock(mutex);
        if (pending.notices.empty() || pending.notices.back().kind != Notice::Kind::Pieces)
            pending.notices.push_back({Notice::Kind::Pieces, {}, 0, {}});
        pending.notices.back().names.push_back(name);
        wakeOnce(lock);
    }

    void progress(std::uint64_t done, std::uint64_t total)
    {
        std::unique_lock lock(mutex);
        pending.hasProgress = true;
        pending.done = done;
        pending.total = total;
        wakeOnce(lock);
    }

    // The last report of a run: always delivered at once.
    void end(RunOutcome outcome)
    {
        std::unique_lock lock(mutex);
        pending.outcome = std::move(outcome);
        wakePosted = true;
        lock.unlock();
        wake();
    }

    bool hasOutcome()
    {
        const std::lock_guard lock(mutex);
        return pending.outcome.has_value();
    }


    Batch take()
    {
        const std::lock_guard lock(mutex);
        wakePosted = false;
        return std::exchange(pending, {});
    }

private:
    void wakeOnce(std::unique_lock<std::mutex>& lock)
    {
        if (wakePosted)
            return;
        wakePosted = true;
        lock.unlock();
        wake();
    }

    std::mutex mutex;
    Batch pending;
    bool wakePosted = false;
    const std::function<void()> wake;
};

namespace {

using Notice = RunMailbox::Notice;

// The engine's observers on the worker: each call becomes a notice in the mailbox. They also
// keep what the outcome reports.
class SplitRelay : public qfs::SplitObserver {
public:
    explicit SplitRelay(RunMailbox& mailbox) : m_mailbox(mailbox) {}

    void checkFailed(const std::string& message, qfs::FocusTarget focus) override
    {
        m_mailbox.post({Notice::Kind::CheckFailed, message, int(focus), {}});
    }
    void folderNameShown(const std::string& folderName) override
    {
        m_mailbox.post({Notice::Kind::FolderNameShown, folderName, 0, {}});
    }
    void folderOpened(const std::string& folderPath) override
    {
        folderMade = true;
        m_mailbox.post({Notice::Kind::FolderOpened, folderPath, 0, {}});
    }
    void unitDefaulted(std::int16_t unitIndex) override
    {
        m_mailbox.post({Notice::Kind::UnitDefaulted, {}, unitIndex, {}});
    }
    void pieceWritten(const std::string& pieceName) override
    {
        ++pieces;
        m_mailbox.piece(pieceName);
    }
    void leftoversRemoved(const qfs::Leftovers& removed) override { leftovers = removed; }
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_mailbox.progress(bytesDone, bytesTotal);
    }

    bool folderMade = false;
    std::uint64_t pieces = 0;
    qfs::Leftovers leftovers;

private:
    RunMailbox& m_mailbox;
};

class JoinRelay : public qfs::JoinObserver {
public:
    explicit JoinRelay(RunMailbox& mailbox) : m_mailbox(mailbox) {}

    void folderShown(const std::string& folderPath) override
    {
        m_mailbox.post({Notice::Kind::FolderShown, folderPath, 0, {}});
    }
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_mailbox.progress(bytesDone, bytesTotal);
    }
    void finished(const std::string& name, std::uint64_t bytes) override
    {
        rebuiltName = name;
        length = bytes;
    }
    void leftoversRemoved(const qfs::Leftovers& removed) override { leftovers = removed; }

    std::string rebuiltName;
    std::uint64_t length = 0;
    qfs::Leftovers leftovers;

private:
    RunMailbox& m_mailbox;
};

class VerifyRelay : public qfs::VerifyObserver {
public:
    explicit VerifyRelay(RunMailbox& mailbox) : m_mailbox(mailbox) {}

    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_mailbox.progress(bytesDone, bytesTotal);
    }
    void finished(const qfs::VerifyReport& found) override { report = found; }

    qfs::VerifyReport report;

private:
    RunMailbox& m_mailbox;
};

} // namespace

Runner::Runner(qfs::FileLayer& layer, QObject* parent) : QObject(parent), m_layer(layer)
{
    connect(this, &Runner::deliveryDue, this, &Runner::deliver, Qt::QueuedConnection);
}

Runner::~Runner()
{
    if (m_worker.joinable()) {
        m_worker.request_stop();
        m_worker.join();
    }
}

void Runner::start(const qfs::SplitRequest& request)
{
    if (m_running)
        return;
    // The checks need no file: a refused request starts no thread and leaves the window as it is.
    if (const auto check = qfs::SplitPlanner::validate(request)) {
        emit checkFailed(QString::fromStdString(check->message), check->focus);
        RunOutcome outcome;
        outcome.error = qfs::Error{qfs::CheckFailed, check->message, {}};
        emit ended(outcome);
        return;
    }
    qfs::FileLayer& layer = m_layer;
    launch(RunKind::Split, [request, &layer](std::stop_token stop, RunMailbox& mailbox) {
        SplitRelay relay(mailbox);
        RunOutcome outcome;
        outcome.kind = RunKind::Split;
        outcome.error = qfs::Splitter(layer).run(request, relay, std::move(stop));
        outcome.folderMade = relay.folderMade;
        outcome.pieces = relay.pieces;
        outcome.leftovers = relay.leftovers;
        return outcome;
    });
}

void Runner::start(const qfs::JoinRequest& request)
{
    if (m_running)
        return;
    qfs::FileLayer& layer = m_layer;
    launch(RunKind::Join, [request, &layer](std::stop_token stop, RunMailbox& mailbox) {
        JoinRelay relay(mailbox);
        RunOutcome outcome;
        outcome.kind = RunKind::Join;
        outcome.error = qfs::Joiner(layer).run(request, relay, std::move(stop));
        outcome.rebuiltName = relay.rebuiltName;
        outcome.length = relay.length;
        outcome.leftovers = relay.leftovers;
        return outcome;
    });
}

void Runner::start(const qfs::VerifyRequest& request)
{
    if (m_running)
        return;
    qfs::FileLayer& layer = m_layer;
    launch(RunKind::Verify, [request, &layer](std::stop_token stop, RunMailbox& mailbox) {
        VerifyRelay relay(mailbox);
        RunOutcome outcome;
        outcome.kind = RunKind::Verify;
        outcome.error = qfs::Verifier(layer).run(request, relay, std::move(stop));
        outcome.report = std::move(relay.report);
        return outcome;
    });
}

void Runner::launch(RunKind kind, Work work)
{
    m_mailbox = std::make_shared<RunMailbox>([this] { emit deliveryDue(QPrivateSignal()); });
    m_running = true;
    m_kind = kind;
    m_meter = {};
    m_clock.start();
    m_lastDelivery.invalidate();
    m_interval = deliveryInterval;
    m_worker = std::jthread([mailbox = m_mailbox, work = std::move(work)](std::stop_token stop) {
        mailbox->end(work(std::move(stop), *mailbox));
    });
    emit started(kind);
}

void Runner::cancel()
{
    if (m_running)
        m_worker.request_stop();
}

void Runner::deliver()
{
    // A handler that opens a modal box lets deliveries in while it waits: they come after it.
    if (!m_running)
        return;
    if (m_delivering) {
        m_missed = true;
        return;
    }
    if (!m_mailbox->hasOutcome() && m_lastDelivery.isValid() && m_lastDelivery.elapsed() < m_interval) {
        if (!m_deferred) {
            m_deferred = true;
            QTimer::singleShot(int(m_interval - m_lastDelivery.elapsed()), this, [this] {
                m_deferred = false;
                deliver();
            });
        }
        return;
    }
    m_lastDelivery.start();
    const QScopedValueRollback delivering(m_delivering, true);

    RunMailbox::Batch batch = m_mailbox->take();
    for (const Notice& notice : batch.notices) {
        switch (notice.kind) {
        case Notice::Kind::CheckFailed:
            emit checkFailed(QString::fromStdString(notice.text), qfs::FocusTarget(notice.number));
            break;
        case Notice::Kind::FolderNameShown:
            emit folderNameShown(notice.text);
            break;
        case Notice::Kind::FolderOpened:
            emit folderOpened(notice.text);
            break;
        case Notice::Kind::UnitDefaulted:
            emit unitDefaulted(notice.number);
            break;
        case Notice::Kind::Pieces:
            emit piecesWritten(notice.names);
            break;
        case Notice::Kind::FolderShown:
            emit folderShown(notice.text);
            break;
        }
    }
    const double seconds = double(m_clock.nsecsElapsed()) / nanosecondsPerSecond;
    if (batch.hasProgress) {
        const std::string line = m_meter.update(batch.done, batch.total, seconds);
        const int share = batch.total == 0
            ? thousandths
            : int(double(thousandths) * double(batch.done) / double(batch.total));
        emit progressed(QString::fromStdString(line), share);
    }
    m_interval = std::max<qint64>(deliveryInterval, handlingShare * m_lastDelivery.elapsed());
    if (batch.outcome) {
        // The worker has left its last report: it is done but for returning.
        m_worker.join();
        m_running = false;
        m_delivering = false;
        RunOutcome outcome = std::move(*batch.outcome);
        outcome.seconds = seconds;
        emit ended(outcome);
    } else if (std::exchange(m_missed, false)) {
        // Reports that came while a handler waited.
        QMetaObject::invokeMethod(this, &Runner::deliver, Qt::QueuedConnection);
    }
}
