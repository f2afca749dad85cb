// Runs one batch run on a thread of its own and reports back on the thread that owns the
// worker: the counts as they rise (coalesced, so a fast run does not flood the event queue)
// and the outcome at the end.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include <QObject>
#include <QString>

#include "app/batch/run.hpp"

namespace qm::gui {

struct RunOutcome {
    std::optional<batch::RunResult> Result; // empty when the run could not start or stopped
    QString Failure;                        // why, when Result is empty
};

class RunWorker : public QObject {
    Q_OBJECT

public:
    explicit RunWorker(QObject *parent = nullptr);
    ~RunWorker() override;

    // Starts the run; false when one is still going.
    bool start(batch::RunOptions options);
    bool isRunning() const { return Thread.joinable(); }
    // The outcome of the last run, once finished() was emitted.
    const RunOutcome &outcome() const { return LastOutcome; }

signals:
    // The run created its log file; the run goes on.
    void logCreated(const QString &logPath);
    // currentFile: the input being converted, empty between files.
    void progressed(int filesCreated, int errorCount, int warningCount, const QString &currentFile);
    void finished();

private:
    class Observer;

    void postLogCreated(const std::filesystem::path &logPath);
    void postProgress(const batch::RunProgress &progress);
    void deliverProgress();
    void deliverOutcome(RunOutcome outcome);

    std::thread Thread;
    std::mutex ProgressMutex;
    batch::RunProgress LatestProgress;
    bool ProgressPosted = false;
    RunOutcome LastOutcome;
};

} // namespace qm::gui
