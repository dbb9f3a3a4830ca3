#include "runner.h"

#include "windowlanguage.h"

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
    // A report for the owner: a folder's name or path, with the signal that delivers it, or,
    // without a signal, completed pieces.
    struct Notice {
        void (Runner::*signal)(const std::string&) = nullptr;
        std::string text;
        std::vector<std::string> names;
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
        if (pending.notices.empty() || pending.notices.back().signal != nullptr)
            pending.notices.push_back({});
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

using Notice = RunMailbox::Notice;

void RunReports::folderNameShown(const std::string& folderName)
{
    m_mailbox.post({&Runner::folderNameShown, folderName, {}});
}

void RunReports::folderOpened(const std::string& folderPath)
{
    m_mailbox.post({&Runner::folderOpened, folderPath, {}});
}

void RunReports::pieceWritten(const std::string& pieceName)
{
    m_mailbox.piece(pieceName);
}

void RunReports::folderShown(const std::string& folderPath)
{
    if (m_showsFolder)
        m_mailbox.post({&Runner::folderShown, folderPath, {}});
}

void RunReports::progress(std::uint64_t bytesDone, std::uint64_t bytesTotal)
{
    m_mailbox.progress(bytesDone, bytesTotal);
}

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

void Runner::start(Run run)
{
    if (m_running)
        return;
    m_mailbox = std::make_shared<RunMailbox>([this] { emit deliveryDue(QPrivateSignal()); });
    m_running = true;
    m_kind = run.kind;
    m_meter = qfs::ProgressMeter(WindowLanguage::wording());
    m_clock.start();
    m_lastDelivery.invalidate();
    m_interval = deliveryInterval;
    // Only a join's folder goes to the window's label for it.
    m_worker = std::jthread([mailbox = m_mailbox, run = std::move(run), &layer = m_layer](std::stop_token stop) {
        RunReports reports(*mailbox, run.kind == RunKind::Join);
        RunOutcome outcome = run.work(layer, std::move(stop), reports);
        outcome.kind = run.kind;
        mailbox->end(std::move(outcome));
    });
    emit started(m_kind);
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
        if (notice.signal != nullptr)
            emit (this->*notice.signal)(notice.text);
        else
            emit piecesWritten(notice.names);
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
