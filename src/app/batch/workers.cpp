#include "app/batch/workers.hpp"

#include <optional>

#include "app/batch/summary.hpp"
#include "convert/pipeline.hpp"

namespace qm::batch {

bool RecordedMessages::keepMessage() {
    if (Kept < MaxShownMessages) {
        ++Kept;
        return true;
    }
    if (Unshown.ErrorCount == 0 && Unshown.WarningCount == 0)
        Entries.push_back({Type::Unshown, 0, {}}); // where the line about the rest goes
    return false;
}

void RecordedMessages::reportError(int code, std::string_view text) {
    if (keepMessage()) {
        Entries.push_back({Type::Error, code, std::string(text)});
        return;
    }
    ++Unshown.ErrorCount;
    if (code >= 1 && code <= MaxErrorCode) ++Unshown.ErrorFrequency[code];
}

void RecordedMessages::reportWarning(int code, std::string_view text) {
    if (keepMessage()) {
        Entries.push_back({Type::Warning, code, std::string(text)});
        return;
    }
    ++Unshown.WarningCount;
    if (code >= 1 && code <= MaxWarningCode) ++Unshown.WarningFrequency[code];
}

void RecordedMessages::logPlainLine(std::string_view text) {
    Entries.push_back({Type::Plain, 0, std::string(text)});
}

void RecordedMessages::insertBeforeClosingLine(std::string_view text) {
    auto at = Entries.end();
    if (!Entries.empty() && Entries.back().type == Type::Plain && Entries.back().text.empty()) --at;
    Entries.insert(at, {Type::Plain, 0, std::string(text)});
}

void RecordedMessages::replay(FileMessageLog &log) const {
    for (const Entry &entry : Entries) {
        switch (entry.type) {
        case Type::Error: log.reportError(entry.code, entry.text); break;
        case Type::Warning: log.reportWarning(entry.code, entry.text); break;
        case Type::Plain: log.logPlainLine(entry.text); break;
        case Type::Unshown: {
            const std::int64_t more =
                static_cast<std::int64_t>(Unshown.ErrorCount) + Unshown.WarningCount;
            log.logPlainLine("   ... " + std::to_string(more) +
                             " more messages for this file not shown");
            log.countUnshown(Unshown);
            break;
        }
        }
    }
}

namespace {

// The bytes into a new unnamed file of the place.
void writeOutput(const OutputPlace &place, std::span<const std::uint8_t> bytes,
                 WrittenOutput &written) {
    auto file = std::make_unique<PendingOutput>();
    written.Error = file->write(*place.Dir, bytes, *place.Names, place.Mode);
    if (written.Error == 0) written.File = std::move(file);
}

Conversion convert(const std::vector<std::uint8_t> &nwBytes, OutputFormats formats,
                   const OutputPlace &place, MemoryGate *gate) {
    Conversion conversion;
    try {
        ConversionOptions options;
        options.Formats = formats;
        std::optional<MemoryGate::Share> share;
        if (gate) {
            share.emplace(*gate, nwBytes.size());
            const std::uint64_t factor = writerFactorPercent(formats);
            options.BeforeModelGrowth = [&share, factor](std::size_t bytes) {
                share->grow(bytes * factor / 100);
            };
        }
        ConversionOutputs outputs = convertNW(nwBytes, conversion.Messages, options);
        conversion.MusicXmlOmitted = outputs.MusicXmlCounts.OmittedElements;
        if (formats.MusicXml && conversion.MusicXmlOmitted > 0)
            conversion.Messages.insertBeforeClosingLine("   " +
                                                        musicXmlLoss(conversion.MusicXmlOmitted));
        if (!place.Dir) {
            conversion.Nwc = std::move(outputs.Nwc);
            conversion.MusicXml = std::move(outputs.MusicXml);
            return conversion;
        }
        conversion.Dir = place.Dir;
        if (formats.Nwc) writeOutput(place, outputs.Nwc, conversion.NwcFile);
        if (formats.MusicXml) writeOutput(place, outputs.MusicXml, conversion.MusicXmlFile);
    } catch (...) {
        conversion.Failure = std::current_exception();
    }
    return conversion;
}

} // namespace

MemoryGate::Share::Share(MemoryGate &gate, std::uint64_t initial) : Gate(gate) {
    {
        std::lock_guard lock(Gate.Mutex);
        Ticket = Gate.NextTicket++;
        Gate.Running.emplace(Ticket, 0);
    }
    grow(initial);
}

MemoryGate::Share::~Share() {
    std::uint64_t held = 0;
    {
        std::lock_guard lock(Gate.Mutex);
        const auto share = Gate.Running.find(Ticket);
        held = share->second;
        Gate.Total -= held;
        Gate.Running.erase(share);
    }
    Gate.Freed.notify_all();
    if (held > LargeShare) platform::releaseFreeMemory();
}

void MemoryGate::Share::grow(std::uint64_t bytes) {
    std::unique_lock lock(Gate.Mutex);
    Gate.Freed.wait(lock, [&] {
        return Gate.Running.begin()->first == Ticket || Gate.Total + bytes <= Gate.Limit;
    });
    Gate.Total += bytes;
    Gate.Running[Ticket] += bytes;
}

std::uint64_t MemoryGate::held() const {
    std::lock_guard lock(Mutex);
    return Total;
}

std::uint64_t writerFactorPercent(OutputFormats formats) {
    // The NWC writer runs whichever formats are chosen (the log is its conversion's).
    return 125 + (formats.MusicXml ? 500 : 0);
}

ConversionWorkers::ConversionWorkers(unsigned threads, std::uint64_t memoryLimit)
    : Memory(memoryLimit) {
    if (threads < 2) return; // one job: convert on the run's own thread
    for (unsigned i = 0; i < threads; ++i)
        Threads.emplace_back([this] { work(); });
}

ConversionWorkers::~ConversionWorkers() {
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
    }
    Wake.notify_all();
    for (std::thread &thread : Threads)
        thread.join();
}

std::future<Conversion> ConversionWorkers::submit(std::vector<std::uint8_t> nwBytes,
                                                  OutputFormats formats, OutputPlace place) {
    std::packaged_task<Conversion()> task(
        [this, bytes = std::move(nwBytes), formats, place = std::move(place)] {
            return convert(bytes, formats, place, Threads.empty() ? nullptr : &Memory);
        });
    std::future<Conversion> result = task.get_future();
    if (Threads.empty()) {
        task();
        return result;
    }
    {
        std::lock_guard lock(Mutex);
        Tasks.push_back(std::move(task));
    }
    Wake.notify_one();
    return result;
}

void ConversionWorkers::cancelQueued() {
    std::lock_guard lock(Mutex);
    Tasks.clear();
}

void ConversionWorkers::work() {
    for (;;) {
        std::packaged_task<Conversion()> task;
        {
            std::unique_lock lock(Mutex);
            Wake.wait(lock, [this] { return Stopping || !Tasks.empty(); });
            if (Tasks.empty()) return; // stopping, and nothing left to do
            task = std::move(Tasks.front());
            Tasks.pop_front();
        }
        task();
    }
}

unsigned defaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

} // namespace qm::batch
