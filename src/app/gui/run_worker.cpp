#include "app/gui/run_worker.hpp"

#include <exception>
#include <filesystem>
#include <type_traits>
#include <utility>

#include <QFile>
#include <QMetaObject>

#include "app/batch/files.hpp"

namespace qm::gui {

namespace {

// The batch layer's texts (paths, reasons): UTF-8 on Windows, the file names' bytes elsewhere.
QString fromBatchText(const std::string &text) {
    if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>)
        return QString::fromStdString(text);
    else
        return QFile::decodeName(QByteArray::fromStdString(text));
}

} // namespace

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
            outcome.Failure = fromBatchText(error.what());
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
    const QString path = fromBatchText(batch::pathText(logPath));
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
                    fromBatchText(progress.CurrentFile));
}

void RunWorker::deliverOutcome(RunOutcome outcome) {
    if (Thread.joinable()) Thread.join();
    LastOutcome = std::move(outcome);
    emit finished();
}

} // namespace qm::gui
