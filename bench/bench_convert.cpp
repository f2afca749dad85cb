// Conversion speed without the file system: every .nw file under a directory is read into
// memory, then the whole corpus is converted again and again. Prints the time per file (best
// round) and per kilobyte, both as wall time and as the processor time of the converting
// thread (the steadier figure on a machine shared with other work). FORMATS is what each file
// is converted to, as `--format` takes it: nwc (the default), musicxml or nwc,musicxml.
// With PASS (e.g. write-musicxml), that step's own processor time is measured too, from the
// step before it to its end: steadier than the difference of two whole runs. Timing every
// step costs the whole a little.
// usage: quillmark_bench DIR [ROUNDS] [FORMATS] [PASS]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <time.h>
#include <vector>

#include "convert/pipeline.hpp"

namespace {

// Counts what a run would log, so the messages are built as they would be.
class CountingMessages : public qm::Messages {
public:
    void reportError(int code, std::string_view text) override {
        Chars += qm::formatError(code, text).size();
    }
    void reportWarning(int code, std::string_view text) override {
        Chars += qm::formatWarning(code, text).size();
    }
    void logPlainLine(std::string_view text) override { Chars += text.size(); }
    std::size_t Chars = 0;
};

std::vector<std::vector<std::uint8_t>> readCorpus(const std::filesystem::path &dir) {
    std::vector<std::filesystem::path> paths;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".nw")
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::vector<std::vector<std::uint8_t>> corpus;
    for (const auto &path : paths) {
        std::ifstream in(path, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return corpus;
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [ROUNDS] [FORMATS] [PASS]\n", argv[0]);
        return 2;
    }
    const std::string_view formats = argc > 3 ? argv[3] : "nwc";
    qm::ConversionOptions options;
    options.Formats.Nwc = formats.find("nwc") != std::string_view::npos;
    options.Formats.MusicXml = formats.find("musicxml") != std::string_view::npos;
    const std::string_view timedPass = argc > 4 ? argv[4] : "";
    double passSeconds = 0;
    double lastStep = 0;
    if (!timedPass.empty()) {
        options.AfterPass = [&](const qm::Pass &pass, const qm::Score &, const qm::Stave *) {
            const double now = threadSeconds();
            if (pass.Name == timedPass) passSeconds += now - lastStep;
            lastStep = now;
        };
    }
    const auto corpus = readCorpus(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (corpus.empty()) {
        std::fprintf(stderr, "no .nw files under %s\n", argv[1]);
        return 1;
    }
    std::size_t inputBytes = 0;
    for (const auto &file : corpus)
        inputBytes += file.size();

    double best = 1e300;
    double bestCpu = 1e300;
    double bestPass = 1e300;
    std::size_t outputBytes = 0;
    std::size_t messageChars = 0;
    for (int round = 0; round < rounds; ++round) {
        CountingMessages messages;
        outputBytes = 0;
        passSeconds = 0;
        const auto start = std::chrono::steady_clock::now();
        const double startCpu = threadSeconds();
        for (const auto &file : corpus) {
            if (!timedPass.empty()) lastStep = threadSeconds();
            const qm::ConversionOutputs outputs = qm::convertNW(file, messages, options);
            outputBytes += outputs.Nwc.size() + outputs.MusicXml.size();
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
        bestCpu = std::min(bestCpu, threadSeconds() - startCpu);
        bestPass = std::min(bestPass, passSeconds);
        messageChars = messages.Chars;
    }
    const double n = static_cast<double>(corpus.size());
    std::printf("files: %zu, average %.1f KB in, %.1f KB out, %zu characters of messages\n",
                corpus.size(), static_cast<double>(inputBytes) / n / 1024,
                static_cast<double>(outputBytes) / n / 1024, messageChars);
    const double kilobytes = static_cast<double>(inputBytes) / 1024;
    std::printf("best of %d rounds: wall %.3f s, %.1f us per file, %.2f us per KB\n", rounds, best,
                1e6 * best / n, 1e6 * best / kilobytes);
    std::printf("                   cpu  %.3f s, %.1f us per file, %.2f us per KB\n", bestCpu,
                1e6 * bestCpu / n, 1e6 * bestCpu / kilobytes);
    if (!timedPass.empty())
        std::printf("%.*s: cpu %.3f s, %.2f us per file (best round)\n",
                    static_cast<int>(timedPass.size()), timedPass.data(), bestPass,
                    1e6 * bestPass / n);
    return 0;
}
