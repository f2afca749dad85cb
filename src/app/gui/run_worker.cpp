#include "app/gui/run_worker.hpp"

#include <exception>
#include <utility>

#include <QFile>
#include <QMetaObject>

namespace qm::gui {

// Hands the run's progress to the worker, from the run's thread.
class RunWorker::Observer : public batch::RunObserver {
public:
    explicit Observer(RunWorker &worker) : Worker(worker) {}

    void onLogCreated(const std::filesystem::path &logPath) override {
        Worker.postLogCreated(logPath);
    }
    void onProgress(const batch::RunProgress &progress) override { Worker.postProgress(progress); }

private:
    RunWorker &Worker;
};

RunWorker::RunWorker(QObject *parent) : QObject(parent) {}

RunWorker::~RunWorker() {
    if (Thread.joinable()) Thread.join();
}

bool RunWorker::start(batch::RunOptions options) {
    if (Thread.joinable()) return false;
    {
        const std::lock_guard lock(ProgressMutex);
        LatestProgress = {};
        ProgressPosted = false;
    }
    LastOutcome = {};
    Thread = std::thread([this, options = std::move(options)] {
        Observer observer(*this);
        RunOutcome outcome;
        try {
            outcome.Result = batch::runBatch(options, &observer);
        } catch (const std::exception &error) {
            outcome.Failure = QString::fromLocal8Bit(error.what());
        } catch (...) {
            outcome.Failure = QStringLiteral("The run stopped on an unexpected failure.");
        }
        // Queued after any progress this run posted, so the outcome arrives last.
        QMetaObject::invokeMethod(
            this,
            [this, outcome = std::move(outcome)]() mutable { deliverOutcome(std::move(outcome)); },
            Qt::QueuedConnection);
    });
    return true;
}

void RunWorker::postLogCreated(const std::filesystem::path &logPath) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(logPath.string()));
    QMetaObject::invokeMethod(
        this, [this, path] { emit logCreated(path); }, Qt::QueuedConnection);
}

void RunWorker::postProgress(const batch::RunProgress &progress) {
    const std::lock_guard lock(ProgressMutex);
    LatestProgress = progress;
    if (ProgressPosted) return;
    ProgressPosted = true;
    QMetaObject::invokeMethod(this, &RunWorker::deliverProgress, Qt::QueuedConnection);
}

void RunWorker::deliverProgress() {
    batch::RunProgress progress;
    {
        const std::lock_guard lock(ProgressMutex);
        progress = LatestProgress;
        ProgressPosted = false;
    }
    emit progressed(progress.FilesCreated, progress.ErrorCount, progress.WarningCount,
                    QFile::decodeName(QByteArray::fromStdString(progress.CurrentFile)));
}

void RunWorker::deliverOutcome(RunOutcome outcome) {
    if (Thread.joinable()) Thread.join();
    LastOutcome = std::move(outcome);
    emit finished();
}

} // namespace qm::gui
