#pragma once

#include "error.h"
#include "filelayer.h"
#include "joinrequest.h"
#include "leftovers.h"
#include "progresstext.h"
#include "splitplanner.h"
#include "splitrequest.h"
#include "verifyobserver.h"
#include "verifyrequest.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class RunMailbox;

// The kinds of work a Runner does.
enum class RunKind { Split, Join, Verify };

// How a run ended.
struct RunOutcome {
    RunKind kind = RunKind::Split;
    // None: the run finished. Code qfs::Cancelled: it was stopped on request, and what it had
    // written is gone again. Code qfs::CheckFailed: the request was refused before it started.
    qfs::Error error;
    // From start() to the end of the work, cleanup included.
    double seconds = 0;
    // Split: whether its folder had been created (it is gone again unless the split finished),
    // and how many pieces it completed.
    bool folderMade = false;
    std::uint64_t pieces = 0;
    // Join: the rebuilt file's name (empty when the folder held no pieces) and its length.
    std::string rebuiltName;
    std::uint64_t length = 0;
    // Verify: what the check found, when it finished.
    qfs::VerifyReport report;
    // Split and join: what they removed before they started, left by runs cut short.
    qfs::Leftovers leftovers;

    bool finished() const { return !error.failed(); }
    bool cancelled() const { return error.is(qfs::Cancelled); }
};

// Runs one split, join or verification at a time on a worker thread of its own and reports it, as signals,
// on the thread that owns this object (the window's). Nothing of the owner's is touched from
// the worker: the engine's observer calls are collected and handed over in batches, at most
// every `deliveryInterval`, so that a run of 100,000 small pieces costs the owner's thread a
// few wake-ups a second, not one per piece. When the owner takes long over a batch (a list
// of many thousand pieces lays itself out anew each time it grows), the batches come further
// apart, so that they take no more than about 1/`handlingShare` of its time. Piece names
// arrive in order and complete; progress arrives as its latest state, already turned into
// the one-line text.
//
// Every start() ends in exactly one ended(), also a start that was refused or stopped.
class Runner : public QObject {
    Q_OBJECT

public:
    // The shortest span between two deliveries, and the longest the owner waits for news of
    // a run unless its own handling slows them down; the end of a run is delivered at once.
    // Five a second is as often as the progress line's speed changes (ProgressMeter samples
    // every 0.2 s), and each delivery makes a long pieces list lay itself out anew.
    static constexpr int deliveryInterval = 200; // milliseconds
    static constexpr int handlingShare = 10;

    // The engine's runs go through this file layer.
    explicit Runner(qfs::FileLayer& layer = qfs::FileLayer::system(), QObject* parent = nullptr);
    // Stops a run that is still going and waits until its cleanup is done. No signal follows.
    ~Runner() override;
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // Start a run. REQUIRES: !isRunning(). started() follows at once. A split that its checks
    // refuse starts nothing: checkFailed() and ended() are emitted before start() returns.
    void start(const qfs::SplitRequest& request);
    void start(const qfs::JoinRequest& request);
    void start(const qfs::VerifyRequest& request);

    // Asks the run to stop. It ends soon after, once it has removed what it wrote, with
    // ended() of code Cancelled (or, when it was just done, as it would have ended anyway).
    void cancel();

    bool isRunning() const { return m_running; }
    // The kind of the run going, or of the last one.
    RunKind kind() const { return m_kind; }

signals:
    void started(RunKind kind);
    // The progress line ("42 % · 1.3 GB of 3.1 GB · 410 MB/s · 4 s left") and the share
    // done, in thousandths.
    void progressed(const QString& line, int thousandths);

    // What a split reports, in the order the engine reports it.
    void checkFailed(const QString& message, qfs::FocusTarget focus);
    void folderNameShown(const std::string& folderName);
    void folderOpened(const std::string& folderPath);
    void unitDefaulted(int unitIndex);
    // Completed pieces, oldest first.
    void piecesWritten(const std::vector<std::string>& names);

    // What a join reports: the folder it works in.
    void folderShown(const std::string& folderPath);

    void ended(const RunOutcome& outcome);

    // From the worker: news waits in the mailbox. Queued to deliver(); the event is built by
    // Qt, so the only data that crosses threads is the mailbox's, under its lock.
    void deliveryDue(QPrivateSignal);

private:
    // The work of one run, on the worker: it calls the engine with the stop token and leaves
    // its reports in the mailbox; what it returns is the run's outcome.
    using Work = std::function<RunOutcome(std::stop_token, RunMailbox&)>;

    void launch(RunKind kind, Work work);
    void deliver();

    qfs::FileLayer& m_layer;
    std::shared_ptr<RunMailbox> m_mailbox;
    bool m_running = false;
    RunKind m_kind = RunKind::Split;
    bool m_deferred = false;   // a delivery waits for its interval to pass
    bool m_delivering = false; // the handlers of a delivery are running
    bool m_missed = false;     // a delivery came meanwhile and was put off
    QElapsedTimer m_clock;   // since start()
    QElapsedTimer m_lastDelivery;
    qint64 m_interval = deliveryInterval; // until the next delivery, in milliseconds
    qfs::ProgressMeter m_meter;
    // Last: it is stopped and joined before anything the worker reaches goes away.
    std::jthread m_worker;
};
