// The MusicXML writer on whole scores: the bundled examples, damaged scores, and a generated
// corpus whose MusicXML notes must match the NWC file's note records one for one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "nwcdump/nwcdump.hpp"
#include "support/musicxml.hpp"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const fs::path SourceDir = QUILLMARK_SOURCE_DIR;

struct ExampleCase {
    const char *file;
    std::vector<int> measures; // per part
    std::vector<int> notes;    // notes and rests per part
};

TEST(MusicXmlExamples, EveryExampleGivesAValidScoreWithItsBarsAndNotes) {
    const std::vector<ExampleCase> cases = {
        {"twinkle.nw", {4}, {14}},
        {"duet.nw", {1, 1}, {7, 3}},
        {"two-systems.nw", {5, 5}, {9, 5}},
    };
    for (const ExampleCase &c : cases) {
        auto converted = test::musicXmlFromBytes(readFile(SourceDir / "examples" / c.file));
        const test::MusicXmlDoc &doc = *converted->doc;
        ASSERT_EQ(converted->problems, "") << c.file;
        EXPECT_EQ(converted->stats.OmittedElements, 0) << c.file;
        ASSERT_EQ(doc.get("count(//part)"), std::to_string(c.measures.size())) << c.file;
        // Each closes with a closing bar, none with a repeat.
        EXPECT_EQ(doc.get("count(//repeat)"), "0") << c.file;
        EXPECT_EQ(doc.get("//part[1]/measure[last()]/barline/bar-style"), "light-heavy") << c.file;
        for (std::size_t p = 0; p < c.measures.size(); ++p) {
            const std::string part = "//part[" + std::to_string(p + 1) + "]";
            EXPECT_EQ(doc.get("count(" + part + "/measure)"), std::to_string(c.measures[p]))
                << c.file << " part " << p + 1;
            EXPECT_EQ(doc.get("count(" + part + "//note)"), std::to_string(c.notes[p]))
                << c.file << " part " << p + 1 << "\n"
                << doc.text();
        }
    }
}

// The stave added to fill the second system holds whole-bar rests where the other has music.
TEST(MusicXmlExamples, FilledStaveOfAnUnevenSystemHoldsRestsBarForBar) {
    auto converted = test::musicXmlFromBytes(readFile(SourceDir / "examples" / "two-systems.nw"));
    const test::MusicXmlDoc &doc = *converted->doc;
    ASSERT_EQ(converted->problems, "");
    for (const char *bar : {"3", "4"}) {
        const std::string notes = "//part[2]/measure[@number='" + std::string(bar) + "']/note";
        EXPECT_EQ(doc.joined(notes + "/type"), "half") << bar;
        EXPECT_EQ(doc.get("count(" + notes + "/dot)"), "1") << bar;
        EXPECT_EQ(doc.get("count(" + notes + "/rest)"), "1") << bar;
    }
    EXPECT_EQ(doc.joined("//part[1]/measure[@number='3']/note/type"), "quarter quarter quarter");
}

// ---------------------------------------------------------------------------------------------
// Differential: MusicXML notes against NWC note records.

// What both files must agree on for each note or rest.
using NoteKey = std::tuple<bool /*rest*/, int /*length code, semibreve 0*/, int /*dots*/,
                           bool /*grace*/, bool /*tie in*/, bool /*tie on*/, bool /*together*/>;

bool hasWord(const std::string &line, const std::string &word) {
    std::istringstream in(line);
    for (std::string w; in >> w;)
        if (w == word || w.rfind(word + "=", 0) == 0) return true;
    return false;
}

std::string field(const std::string &line, const std::string &name) {
    std::istringstream in(line);
    for (std::string w; in >> w;)
        if (w.rfind(name + "=", 0) == 0) return w.substr(name.size() + 1);
    return {};
}

// Per staff, the note records of the NWC dump. A note sounds together with others when it is a
// chord member, a rest chord's rest, or the single note a rest chord stands beside.
std::vector<std::vector<NoteKey>> nwcNotes(const std::vector<std::uint8_t> &nwc) {
    std::vector<std::vector<NoteKey>> staves;
    std::istringstream in(dumpNwc(nwc));
    bool afterRestChord = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("staff ", 0) == 0) staves.emplace_back();
        const std::string kind = line.substr(0, line.find(' '));
        if (kind != "note" && kind != "rest" && kind != "restchord") {
            if (kind != "chord") afterRestChord = false;
            continue;
        }
        const bool grace = hasWord(line, "grace");
        const int dots = hasWord(line, "double_dotted") ? 2 : (hasWord(line, "dotted") ? 1 : 0);
        const bool together =
            !grace && (kind == "restchord" || afterRestChord || hasWord(line, "in_chord"));
        staves.back().emplace_back(kind != "note", std::stoi(field(line, "dur")), dots, grace,
                                   hasWord(line, "tie_from"), hasWord(line, "tie_to"), together);
        afterRestChord = kind == "restchord";
    }
    return staves;
}

int typeCode(const std::string &type) {
    static const std::map<std::string, int> codes = {{"breve", 0},   {"whole", 0},  {"half", 1},
                                                     {"quarter", 2}, {"eighth", 3}, {"16th", 4},
                                                     {"32nd", 5},    {"64th", 6}};
    const auto found = codes.find(type);
    return found == codes.end() ? -1 : found->second;
}

bool named(xmlNodePtr node, const char *name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrEqual(node->name, reinterpret_cast<const xmlChar *>(name));
}

std::vector<xmlNodePtr> children(xmlNodePtr node, const char *name) {
    std::vector<xmlNodePtr> found;
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
        if (named(child, name)) found.push_back(child);
    return found;
}

std::string childText(xmlNodePtr node, const char *name) {
    const std::vector<xmlNodePtr> found = children(node, name);
    if (found.empty()) return {};
    xmlChar *text = xmlNodeGetContent(found.front());
    std::string value = text ? reinterpret_cast<const char *>(text) : "";
    xmlFree(text);
    return value;
}

int ties(xmlNodePtr note, const char *type) {
    int count = 0;
    for (xmlNodePtr tie : children(note, "tie")) {
        xmlChar *value = xmlGetProp(tie, reinterpret_cast<const xmlChar *>("type"));
        count += xmlStrEqual(value, reinterpret_cast<const xmlChar *>(type));
        xmlFree(value);
    }
    return count;
}

// Per part, the notes of the MusicXML document. A note sounds together with others when
// another note of the part that is not a grace note starts at the same time.
std::vector<std::vector<NoteKey>> musicXmlNotes(const test::MusicXmlDoc &doc) {
    std::vector<std::vector<NoteKey>> parts;
    for (xmlNodePtr part : children(xmlDocGetRootElement(doc.tree()), "part")) {
        struct Found {
            NoteKey key;
            long onset;
        };
        std::vector<Found> notes;
        std::map<long, int> startingAt;
        long measureStart = 0;
        for (xmlNodePtr measure : children(part, "measure")) {
            long position = 0, longest = 0, lastOnset = 0;
            for (xmlNodePtr child = measure->children; child != nullptr; child = child->next) {
                const long duration = std::atol(childText(child, "duration").c_str());
                if (named(child, "backup")) position -= duration;
                if (named(child, "forward")) position += duration;
                if (named(child, "note") && childText(child, "type").empty()) {
                    position += duration; // the rest of an empty bar: no note in the NWC file
                } else if (named(child, "note")) {
                    const bool grace = !children(child, "grace").empty();
                    const bool chord = !children(child, "chord").empty();
                    const long onset = chord ? lastOnset : position;
                    lastOnset = onset;
                    if (!grace && !chord) position += duration;
                    if (!grace) ++startingAt[measureStart + onset];
                    notes.push_back(
                        {NoteKey{!children(child, "rest").empty(),
                                 typeCode(childText(child, "type")),
                                 static_cast<int>(children(child, "dot").size()), grace,
                                 ties(child, "stop") > 0, ties(child, "start") > 0, false},
                         measureStart + onset});
                }
                longest = std::max(longest, position);
            }
            measureStart += longest;
        }
        parts.emplace_back();
        for (Found &note : notes) {
            std::get<6>(note.key) = !std::get<3>(note.key) && startingAt[note.onset] > 1;
            parts.back().push_back(note.key);
        }
    }
    return parts;
}

// Every voice of every measure adds up to the same length: notes (a chord counted once, grace
// notes not at all) and forwards. Returns the first measure where they do not, or "".
std::string unevenVoices(const test::MusicXmlDoc &doc) {
    int partNumber = 0;
    for (xmlNodePtr part : children(xmlDocGetRootElement(doc.tree()), "part")) {
        ++partNumber;
        int measureIndex = 0;
        for (xmlNodePtr measure : children(part, "measure")) {
            ++measureIndex;
            std::map<std::string, long> lengths;
            for (xmlNodePtr child = measure->children; child != nullptr; child = child->next) {
                const bool note = named(child, "note");
                if (!note && !named(child, "forward")) continue;
                if (note &&
                    (!children(child, "chord").empty() || !children(child, "grace").empty()))
                    continue;
                lengths[childText(child, "voice")] +=
                    std::atol(childText(child, "duration").c_str());
            }
            for (const auto &[voice, length] : lengths)
                if (length != lengths.begin()->second)
                    return "part " + std::to_string(partNumber) + " measure " +
                           std::to_string(measureIndex) + " voice " + voice;
        }
    }
    return {};
}

// The parts keep in step: as many measures in every part, and measure k numbered and lasting
// alike in all of them (the furthest any voice reaches). Returns the first difference, or "".
std::string partsOutOfStep(const test::MusicXmlDoc &doc) {
    std::vector<std::vector<std::string>> parts; // per part, "number:length" per measure
    for (xmlNodePtr part : children(xmlDocGetRootElement(doc.tree()), "part")) {
        parts.emplace_back();
        for (xmlNodePtr measure : children(part, "measure")) {
            long position = 0, longest = 0;
            for (xmlNodePtr child = measure->children; child != nullptr; child = child->next) {
                const long duration = std::atol(childText(child, "duration").c_str());
                if (named(child, "backup")) position -= duration;
                if (named(child, "forward")) position += duration;
                if (named(child, "note") && children(child, "chord").empty() &&
                    children(child, "grace").empty())
                    position += duration;
                longest = std::max(longest, position);
            }
            xmlChar *number = xmlGetProp(measure, reinterpret_cast<const xmlChar *>("number"));
            parts.back().push_back(std::string(reinterpret_cast<const char *>(number)) + ":" +
                                   std::to_string(longest));
            xmlFree(number);
        }
    }
    for (std::size_t p = 1; p < parts.size(); ++p) {
        if (parts[p].size() != parts[0].size())
            return "part " + std::to_string(p + 1) + " has " + std::to_string(parts[p].size()) +
                   " measures, part 1 " + std::to_string(parts[0].size());
        for (std::size_t m = 0; m < parts[p].size(); ++m)
            if (parts[p][m] != parts[0][m])
                return "measure " + std::to_string(m + 1) + ": part 1 " + parts[0][m] + ", part " +
                       std::to_string(p + 1) + " " + parts[p][m];
    }
    return {};
}

std::string describe(const NoteKey &k) {
    const auto [rest, code, dots, grace, tieIn, tieOn, together] = k;
    return std::string(rest ? "rest" : "note") + " dur=" + std::to_string(code) +
           " dots=" + std::to_string(dots) + (grace ? " grace" : "") + (tieIn ? " tie_in" : "") +
           (tieOn ? " tie_on" : "") + (together ? " together" : "");
}

TEST(MusicXmlCorpus, GeneratedScoresValidateKeepThePartsInStepAndMatchTheNwcNotes) {
    const fs::path corpus =
        fs::temp_directory_path() / ("quillmark-mx-corpus-" + std::to_string(::getpid()));
    const std::string command = "python3 '" + (SourceDir / "bench" / "gen_corpus.py").string() +
                                "' '" + corpus.string() + "' --files 300 --seed 14";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    int files = 0, together = 0, tied = 0, rests = 0, empty = 0, pickups = 0, split = 0;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(corpus)) {
        if (entry.path().extension() != ".nw") continue;
        ++files;
        auto converted = test::musicXmlFromBytes(readFile(entry.path()));
        const std::string name = entry.path().filename().string();
        ASSERT_EQ(converted->problems, "") << name;
        EXPECT_EQ(unevenVoices(*converted->doc), "") << name;
        const std::string outOfStep = partsOutOfStep(*converted->doc);
        EXPECT_EQ(outOfStep, "") << name;
        empty += converted->doc->get("count(//note[rest/@measure='yes' and not(type)])") != "0";
        pickups += converted->doc->get("count(//measure[@implicit='yes'])") != "0";
        split += converted->doc->get("count(//note[voice='2' and stem='down'])") != "0";
        EXPECT_EQ(converted->stats.OmittedElements, 0) << name;
        std::vector<std::vector<NoteKey>> expected = nwcNotes(converted->nwc);
        std::vector<std::vector<NoteKey>> actual = musicXmlNotes(*converted->doc);
        ASSERT_EQ(actual.size(), expected.size()) << name;
        for (std::size_t p = 0; p < actual.size(); ++p) {
            std::sort(expected[p].begin(), expected[p].end());
            std::sort(actual[p].begin(), actual[p].end());
            ASSERT_EQ(actual[p].size(), expected[p].size()) << name << " part " << p + 1;
            for (std::size_t i = 0; i < actual[p].size(); ++i) {
                ASSERT_EQ(describe(actual[p][i]), describe(expected[p][i]))
                    << name << " part " << p + 1;
                together += std::get<6>(actual[p][i]);
                tied += std::get<4>(actual[p][i]);
                rests += std::get<0>(actual[p][i]);
            }
        }
    }
    fs::remove_all(corpus);
    EXPECT_EQ(files, 300);
    // The corpus has chords, ties and rests for the comparison to bite on.
    EXPECT_GT(together, 1000);
    EXPECT_GT(tied, 100);
    EXPECT_GT(rests, 100);
    // ... and empty bars, pickups and chords split by their stems for the alignment to bite on.
    EXPECT_GT(empty, 30);
    EXPECT_GT(pickups, 30);
    EXPECT_GT(split, 30);
    std::cout << together << " notes in chords, " << tied << " tied, " << rests << " rests; "
              << empty << " scores with empty bars, " << pickups << " with pickups, " << split
              << " with split stems\n";
}

// Scores with damaged records, cut short or empty still give documents the schema accepts.
TEST(MusicXmlExamples, DamagedScoresStillGiveValidDocumentsWhoseVoicesAddUp) {
    std::mt19937 random(20261208);
    for (const char *file : {"twinkle.nw", "duet.nw", "two-systems.nw"}) {
        const std::vector<std::uint8_t> original = readFile(SourceDir / "examples" / file);
        ASSERT_GT(original.size(), 100u);
        for (int round = 0; round < 150; ++round) {
            std::vector<std::uint8_t> damaged = original;
            const int changes = 1 + static_cast<int>(random() % 6);
            for (int i = 0; i < changes; ++i) {
                const std::size_t at = 22 + random() % (damaged.size() - 22);
                damaged[at] = static_cast<std::uint8_t>(random());
            }
            if (round % 10 == 0) damaged.resize(random() % damaged.size());
            auto converted = test::musicXmlFromBytes(damaged);
            ASSERT_EQ(converted->problems, "") << file << " round " << round << "\n"
                                               << converted->doc->text();
            ASSERT_EQ(unevenVoices(*converted->doc), "") << file << " round " << round << "\n"
                                                         << converted->doc->text();
        }
    }
}

} // namespace
} // namespace qm
