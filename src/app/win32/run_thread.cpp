#include "app/win32/run_thread.hpp"

#include <exception>

#include "app/batch/files.hpp"
#include "app/win32/wide_text.hpp"

namespace qm::win32 {

namespace {

// A walk of the names that takes longer than this is not worth its wait: the bar then shows
// that the run goes on without saying how far it is.
constexpr std::chrono::seconds CountBudget{2};

} // namespace

class RunThread::Observer : public batch::RunObserver {
public:
    explicit Observer(RunThread &run) : Run(run) {}
    void onLogCreated(const std::filesystem::path &logPath) override {
        {
            const std::lock_guard lock(Run.Mutex);
            Run.Latest.LogPath = logPath.native();
        }
        Run.post(true);
    }
    void onProgress(const batch::RunProgress &progress) override {
        {
            const std::lock_guard lock(Run.Mutex);
            Run.Latest.Progress = progress;
        }
        Run.post();
    }

private:
    RunThread &Run;
};

RunThread::RunThread(HWND window, batch::RunOptions options)
    : Window(window), Started(std::chrono::steady_clock::now()) {
    options.StopRequested = [this] { return StopRequested.load(); };
    Thread = std::thread([this, options = std::move(options)] {
        const std::optional<std::int64_t> total = batch::countNwFiles(options.Source, CountBudget);
        {
            const std::lock_guard lock(Mutex);
            Latest.Total = total;
        }
        Observer observer(*this);
        Outcome outcome;
        try {
            outcome.Result = batch::runBatch(options, &observer);
        } catch (const std::exception &error) {
            outcome.Failure = wide(error.what());
        } catch (...) {
            outcome.Failure = L"The run stopped on an unexpected failure.";
        }
        {
            const std::lock_guard lock(Mutex);
            Result = std::move(outcome);
        }
        ::PostMessageW(Window, FinishedMessage, 0, 0);
    });
}

RunThread::~RunThread() {
    StopRequested = true;
    if (Thread.joinable()) Thread.join();
}

void RunThread::post(bool force) {
    {
        const std::lock_guard lock(Mutex);
        if (Posted && !force) return;
        Posted = true;
    }
    ::PostMessageW(Window, ProgressMessage, 0, 0);
}

RunThread::Snapshot RunThread::snapshot() {
    const std::lock_guard lock(Mutex);
    Posted = false;
    Snapshot copy = Latest;
    copy.Elapsed = std::chrono::steady_clock::now() - Started;
    return copy;
}

RunThread::Outcome RunThread::outcome() {
    if (Thread.joinable()) Thread.join();
    const std::lock_guard lock(Mutex);
    return std::move(Result);
}

} // namespace qm::win32
