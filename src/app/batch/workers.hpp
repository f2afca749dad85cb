// Conversion on worker threads: the run keeps reading and writing files while scores convert,
// and takes the results back in the order it handed the files out, so the log and the output
// names are exactly those of a run that converts one file after the other.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/batch/file_message_log.hpp"
#include "app/batch/files.hpp"
#include "convert/passes.hpp"
#include "core/messages.hpp"

namespace qm::batch {

// The messages a file may put into the log; the rest are counted but not kept, so that a file
// that is no score at all cannot bury the log or fill the memory.
constexpr std::int32_t MaxShownMessages = 10000;

// Messages kept in order, to be written to the log later by the run's own thread. After
// MaxShownMessages errors and warnings, further ones are only counted; plain lines are kept.
class RecordedMessages : public Messages {
public:
    void reportError(int code, std::string_view text) override;
    void reportWarning(int code, std::string_view text) override;
    void logPlainLine(std::string_view text) override;
    // A plain line before the file's closing empty line (or at the end, when there is none).
    void insertBeforeClosingLine(std::string_view text);

    // Reports everything recorded, in order, through `log`; where messages stopped being kept,
    // one line says how many more there were, and their counts are added.
    void replay(FileMessageLog &log) const;

private:
    enum class Type { Error, Warning, Plain, Unshown };
    struct Entry {
        Type type;
        int code;
        std::string text;
    };
    bool keepMessage();

    std::vector<Entry> Entries;
    std::int32_t Kept = 0;
    MessageCounts Unshown;
};

// Where a conversion writes its outputs: the directory of its input, held open while the
// outputs wait for their names, and the names of temporary files for file systems without
// unnamed files.
struct OutputPlace {
    std::shared_ptr<const Directory> Dir;
    TemporaryNames *Names = nullptr;
    std::uint32_t Mode = DefaultOutputMode; // the input's permission bits
};

// One output written by the worker that converted it, not yet named (see PendingOutput).
struct WrittenOutput {
    std::unique_ptr<PendingOutput> File; // null when not asked for or not written
    int Error = 0;                       // the system's error when it could not be written
};

// What converting one score gave: the outputs asked for and the messages, or the failure it
// threw. With an OutputPlace the outputs are written there, without a name, and their bytes
// are not kept; without one the bytes are kept.
struct Conversion {
    std::shared_ptr<const Directory> Dir; // outlives the written files, which refer to it
    WrittenOutput NwcFile;
    WrittenOutput MusicXmlFile;
    std::vector<std::uint8_t> Nwc;
    MusicXmlBytes MusicXml;
    int MusicXmlOmitted = 0; // elements the MusicXML file could not express
    RecordedMessages Messages;
    std::exception_ptr Failure;
};

// What the conversions on worker threads may hold at once, counted as each grows: its input,
// its model's element memory as it is taken, and for every model byte what the writers of the
// formats chosen will hold (their working data and their output). A conversion that is not the
// oldest one running waits while growing would take the total over the limit; the oldest never
// waits, so the run always moves on, and one conversion larger than the limit runs as if alone.
class MemoryGate {
public:
    explicit MemoryGate(std::uint64_t limit) : Limit(limit) {}

    // A conversion that held more gives the heaps' free memory back to the system when it ends.
    static constexpr std::uint64_t LargeShare = 8u * 1024u * 1024u;

    // One conversion's share, from its start to its end.
    class Share {
    public:
        Share(MemoryGate &gate, std::uint64_t initial);
        ~Share();
        Share(const Share &) = delete;
        Share &operator=(const Share &) = delete;
        void grow(std::uint64_t bytes);

    private:
        MemoryGate &Gate;
        std::uint64_t Ticket;
    };

    std::uint64_t held() const;

private:
    std::uint64_t Limit;
    mutable std::mutex Mutex;
    std::condition_variable Freed;
    std::uint64_t NextTicket = 0;
    std::uint64_t Total = 0;
    std::map<std::uint64_t, std::uint64_t> Running; // ticket (start order) -> bytes held
};

// Model bytes plus what the writers of `formats` hold for each of them, in hundredths: the
// NWC writer (which always runs) about a quarter more, the MusicXML writer about five times
// more (its measures and notes, then a text ten times the NWC file).
std::uint64_t writerFactorPercent(OutputFormats formats);

// A fixed set of threads converting scores. With no threads, a conversion runs at once on the
// caller's thread.
class ConversionWorkers {
public:
    // `memoryLimit` bounds what the conversions on the threads hold at once (see MemoryGate).
    explicit ConversionWorkers(unsigned threads, std::uint64_t memoryLimit = 64u * 1024u * 1024u);
    ~ConversionWorkers();
    ConversionWorkers(const ConversionWorkers &) = delete;
    ConversionWorkers &operator=(const ConversionWorkers &) = delete;

    // Converts on a worker and, given a place, writes the outputs there on the same worker:
    // creating and filling files is most of the system's work in a run.
    std::future<Conversion> submit(std::vector<std::uint8_t> nwBytes, OutputFormats formats = {},
                                   OutputPlace place = {});

    // Drops the conversions not yet started; their futures report a broken promise.
    void cancelQueued();

    // How many files may be in flight at once. A deep queue lets the workers run on while the
    // run's thread reads and names files, so neither waits on the other file by file (on two
    // cores, 34 rather than 6 files took a tmpfs run from 1.8 to 1.5 times `cp -r`). Each file
    // in flight holds its unnamed outputs open, so the window stops growing at 130.
    std::size_t window() const {
        return Threads.empty() ? 1 : std::min<std::size_t>(16 * Threads.size(), 128) + 2;
    }

private:
    void work();

    std::vector<std::thread> Threads;
    std::deque<std::packaged_task<Conversion()>> Tasks;
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Stopping = false;
    MemoryGate Memory;
};

// The number of conversions to run at once when the user does not say: one per core.
unsigned defaultJobs();

} // namespace qm::batch
