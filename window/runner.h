#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/joiner.h"
#include "engine/fs/leftovers.h"
#include "engine/repairer.h"
#include "engine/text/progresstext.h"
#include "engine/splitter.h"
#include "engine/verifyobserver.h"

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

// What a run reports while it goes, whatever its kind: every observer of the engine in one.
// Each report is left for the window's thread (see Runner); nothing else happens on the worker.
class RunReports : public qfs::SplitObserver, public qfs::JoinObserver, public qfs::VerifyObserver {
public:
    RunReports(RunMailbox& mailbox, bool showsFolder) : m_mailbox(mailbox), m_showsFolder(showsFolder) {}

    void folderNameShown(const std::string& folderName) override;
    void folderOpened(const std::string& folderPath) override;
    void pieceWritten(const std::string& pieceName) override;
    void folderShown(const std::string& folderPath) override;
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override;

private:
    RunMailbox& m_mailbox;
    bool m_showsFolder; // whether the run's folder goes to folderShown() (a join's does)
};

struct Run;

// The kinds of work a Runner does.
enum class RunKind { Split, Join, Verify, Repair };

// How a run ended.
struct RunOutcome {
    RunKind kind = RunKind::Split;
    // None: the run finished. Code qfs::Cancelled: it was stopped on request, and what it had
    // written is gone again.
    qfs::Error error;
    // From start() to the end of the work, cleanup included.
    double seconds = 0;
    // Split: how many pieces it made, whether their checksum file, and how many recovery
    // pieces beside them.
    std::uint64_t pieces = 0;
    bool checksumFile = false;
    std::uint64_t recoveryPieces = 0;
    // Join: the rebuilt file's name (empty when the folder held no pieces), its length, and
    // the folder it is in.
    std::string rebuiltName;
    std::uint64_t length = 0;
    std::string rebuiltFolder;
    // Verify: what the check found, when it finished. Join: when it refused damaged or missing
    // pieces in a folder with recovery data, what a check of that data found (canRebuild()).
    qfs::VerifyReport report;
    // Repair: what it rebuilt, and what is still wrong.
    qfs::RepairResult repair;
    // Split and join: what they removed before they started, left by runs cut short.
    qfs::Leftovers leftovers;
    // A refusal the person may settle, before anything was written: a split folder of that
    // name is there already, the pieces folder cannot take the rebuilt file, a file of the
    // rebuilt name is in the chosen folder. The question the window asks, and the run it
    // starts on Yes; none otherwise.
    QString question;
    std::shared_ptr<const Run> retry;

    bool finished() const { return !error.failed(); }
    bool cancelled() const { return error.is(qfs::Cancelled); }
};

// One run for a Runner: its kind, and the work it does on the worker thread, which calls the
// engine through `layer` with the stop token and the reports, and returns how it ended (the
// Runner fills in the kind and the time). A new kind of run is one more function that makes
// such a Run (see runs.h).
struct Run {
    RunKind kind = RunKind::Split;
    std::function<RunOutcome(qfs::FileLayer& layer, std::stop_token stop, RunReports& reports)> work;
};

// Runs one split, join, verification or repair at a time on a worker thread of its own and reports it, as signals,
// on the thread that owns this object (the window's). Nothing of the owner's is touched from
// the worker: the engine's observer calls are collected and handed over in batches, at most
// every `deliveryInterval`, so that a run of 100,000 small pieces costs the owner's thread a
// few wake-ups a second, not one per piece. When the owner takes long over a batch (a list
// of many thousand pieces lays itself out anew each time it grows), the batches come further
// apart, so that they take no more than about 1/`handlingShare` of its time. Piece names
// arrive in order and complete; progress arrives as its latest state, already turned into
// the one-line text.
//
// Every start() of a run ends in exactly one ended(), also one that failed or was stopped.
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

    // Starts a run; nothing happens while one is going. started() follows at once.
    void start(Run run);

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
    void folderNameShown(const std::string& folderName);
    void folderOpened(const std::string& folderPath);
    // Completed pieces, oldest first.
    void piecesWritten(const std::vector<std::string>& names);

    // What a join reports: the folder it works in.
    void folderShown(const std::string& folderPath);

    void ended(const RunOutcome& outcome);

    // From the worker: news waits in the mailbox. Queued to deliver(); the event is built by
    // Qt, so the only data that crosses threads is the mailbox's, under its lock.
    void deliveryDue(QPrivateSignal);

private:
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
