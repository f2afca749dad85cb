// The window's behaviour, driven through a fake view: each case builds a tree, plays the
// user's actions and checks what the window then shows and what is on disk.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>

#include "app/batch/files.hpp"
#include "app/window/config_file.hpp"
#include "app/window/directory_entries.hpp"
#include "app/window/main_window.hpp"
#include "nwtext/nwtext.hpp"
#include "support/temp_tree.hpp"

namespace qm::window {
namespace {

namespace fs = std::filesystem;

const char *const OneStave = "header staves=1 version=200\n"
                             "stave y=1000 count=3\n"
                             "newstave x=10 y=1000\n"
                             "note x=100 y=1000 dur=3 pos=0 stem=0\n"
                             "rest x=140 y=1000 dur=3\n";

void writeFile(const fs::path &path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Records what the window shows. Drives are the test's root and its "other" directory, so a
// change of drive never leaves the scratch tree.
class FakeView : public View {
public:
    explicit FakeView(fs::path root) : Root(std::move(root)) {}

    void showCount(CountBox box, std::string_view text) override {
        Counts[static_cast<int>(box)] = std::string(text);
    }
    void enable(Control control, bool enabled) override { Enabled[control] = enabled; }
    void focus(Control control) override { Focused = control; }
    void setChecked(Control control, bool checked) override { Checked[control] = checked; }
    void showDirectory(Side side, const DirectoryEntries &entries) override {
        Lists[side] = entries;
    }
    void showDrive(Side side, const fs::path &root) override { Drives[side] = root; }
    fs::path driveOf(const fs::path &path) override {
        const fs::path other = Root / "other";
        const auto [end, rest] =
            std::mismatch(other.begin(), other.end(), path.begin(), path.end());
        return end == other.end() ? other : Root;
    }
    void showFiles(const std::vector<std::string> &names) override { Files = names; }
    void showProgress(const ProgressShown &progress) override { Progress = progress; }
    void showStatus(const StatusShown &status) override { Status = status; }
    void showMessage(MessageKind kind, std::string_view text) override {
        Messages.emplace_back(kind, std::string(text));
    }
    bool showHelp(const fs::path &rtfFile) override {
        HelpShown.push_back(rtfFile);
        return true;
    }
    bool openFile(const fs::path &path) override {
        Opened.push_back(path);
        return CanOpen;
    }
    void closeWindow() override { Closed = true; }
    void post(std::function<void()> task) override {
        const std::lock_guard lock(QueueMutex);
        Queue.push_back(std::move(task));
        Wake.notify_one();
    }

    // Runs posted tasks until `done` holds, as the window's event loop would.
    void runUntil(const std::function<bool()> &done) {
        while (!done()) {
            std::function<void()> task;
            {
                std::unique_lock lock(QueueMutex);
                ASSERT_TRUE(Wake.wait_for(lock, std::chrono::seconds(60),
                                          [this] { return !Queue.empty(); }));
                task = std::move(Queue.front());
                Queue.pop_front();
            }
            task();
        }
    }

    fs::path Root;
    std::string Counts[3];
    std::map<Control, bool> Enabled;
    std::map<Control, bool> Checked;
    Control Focused = Control::Go;
    std::map<Side, DirectoryEntries> Lists;
    std::map<Side, fs::path> Drives;
    std::vector<std::string> Files;
    ProgressShown Progress;
    StatusShown Status;
    std::vector<std::pair<MessageKind, std::string>> Messages;
    std::vector<fs::path> HelpShown;
    std::vector<fs::path> Opened;
    bool CanOpen = true;
    bool Closed = false;

private:
    std::mutex QueueMutex;
    std::condition_variable Wake;
    std::deque<std::function<void()>> Queue;
};

// One case: the tree ("dir/" a directory, "name=text" a file with that text, any other name a
// score, "link>target" a link, "big" an input too large to convert), the user's actions, and
// what is then expected, each "key value".
struct Case {
    const char *Name;
    std::vector<std::string> Tree;
    std::vector<std::string> Actions;
    std::vector<std::string> Expected;
};

std::pair<std::string, std::string> split(const std::string &line) {
    const auto space = line.find(' ');
    if (space == std::string::npos) return {line, ""};
    return {line.substr(0, space), line.substr(space + 1)};
}

std::string joined(const std::vector<std::string> &items, const char *separator) {
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

Control controlNamed(const std::string &name) {
    for (const ControlLayout &control : controls())
        if (control.Name == name) return control.Id;
    ADD_FAILURE() << "no control " << name;
    return Control::Go;
}

class WindowModel : public ::testing::Test {
protected:
    void SetUp() override {
        Root = test::makeTempTree("qm-window-");
        for (const char *dir : {"start", "scores", "logs", "other"})
            fs::create_directory(Root / dir);
        View = std::make_unique<FakeView>(Root);
        Window = std::make_unique<MainWindow>(*View, Places{Root / "start", Root / "bin", {}});
    }
    void TearDown() override {
        Window.reset();
        View.reset();
#ifndef _WIN32
        ::chmod((Root / "scores/locked").c_str(), 0700);
#endif
        test::removeTree(Root);
    }

    fs::path at(const std::string &relative) const {
        return relative == "." ? Root : normalDirectory(Root / test::utf8Path(relative));
    }
    fs::path bytesAt(const std::string &relative) const {
        return relative == "." ? Root : Root / batch::pathFromText(relative);
    }
    // A path below the root as the table writes it, with forward slashes on every system.
    std::string relative(const fs::path &path) const {
        if (path.empty()) return "-";
        std::string text = batch::pathText(path.lexically_relative(Root));
        std::replace(text.begin(), text.end(), '\\', '/');
        return text;
    }

    void build(const std::vector<std::string> &tree) {
        for (const std::string &entry : tree) {
            if (entry.ends_with('/')) {
                fs::create_directories(bytesAt(entry));
            } else if (const auto arrow = entry.find('>'); arrow != std::string::npos) {
                fs::create_directory_symlink(at(entry.substr(arrow + 1)),
                                             bytesAt(entry.substr(0, arrow)));
            } else if (const auto equals = entry.find('='); equals != std::string::npos) {
                writeFile(bytesAt(entry.substr(0, equals)), entry.substr(equals + 1));
            } else if (entry.ends_with("big.nw")) {
                writeFile(bytesAt(entry), "");
                fs::resize_file(bytesAt(entry), 17u << 20); // above what a score can be
            } else {
                const std::vector<std::uint8_t> score = nwtext::build(OneStave);
                writeFile(bytesAt(entry), std::string(score.begin(), score.end()));
            }
        }
    }

    // Clicks the way there, as a user would: up to a common ancestor, then down.
    void choose(Side side, const std::string &dir) {
        const fs::path target = bytesAt(dir).lexically_normal();
        const auto isWithin = [&target](const fs::path &entry) {
            const auto rest = target.lexically_relative(entry);
            return !rest.empty() && *rest.begin() != "..";
        };
        for (int step = 0; step < 20; ++step) {
            const auto &entries = Window->entries(side).Entries;
            int best = -1;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (entries[i].Path == target) best = static_cast<int>(i);
                if (entries[i].Path == target) break;
                if (isWithin(entries[i].Path) && !entries[i].Chosen) best = static_cast<int>(i);
            }
            if (best < 0) break;
            Window->entryChosen(side, best);
            if (Window->directory(side) == target) return;
        }
        ADD_FAILURE() << dir << " cannot be reached in the list";
    }

    void waitForRun() {
        View->runUntil([this] { return !Window->isRunning(); });
    }

    void act(const std::string &action) {
        const auto [verb, arg] = split(action);
        if (verb == "go") {
            Window->goClicked();
            if (arg != "&") waitForRun();
        } else if (verb == "wait") {
            waitForRun();
        } else if (verb == "stop") {
            Window->stopClicked();
        } else if (verb == "quit") {
            Window->quitClicked();
        } else if (verb == "help") {
            Window->helpClicked();
        } else if (verb == "activate") {
            Window->activated();
        } else if (verb == "link") {
            Window->logLinkClicked();
        } else if (verb == "noopen") {
            View->CanOpen = false;
        } else if (verb == "musicxml") {
            Window->musicXmlToggled(arg == "1");
        } else if (verb == "source" || verb == "log") {
            choose(verb == "source" ? Side::Source : Side::Log, arg);
        } else if (verb == "source-drive" || verb == "log-drive") {
            Window->driveChosen(verb == "source-drive" ? Side::Source : Side::Log, at(arg));
        } else if (verb == "config") {
            // "config LOG SOURCE [third line]": directories relative to the root, "-" for none.
            std::istringstream words(arg);
            std::string text;
            for (std::string word; words >> word;)
                text += (word == "-"                  ? ""
                         : word == "1" || word == "0" ? word
                                                      : batch::pathText(at(word))) +
                        "\n";
            writeFile(Window->configFile(), text);
        } else if (verb == "rm") {
            fs::remove_all(at(arg));
        } else {
            ADD_FAILURE() << "unknown action " << action;
        }
    }

    // The figures in the summary of the log, "files/errors/warnings".
    std::string figuresOfLog() const {
        const std::string log = readFile(View->Status.LogLink);
        std::smatch files, totals;
        std::regex_search(log, files, std::regex(R"(\*\*\* (\d+) files were created)"));
        std::regex_search(log, totals, std::regex(R"(with (\d+) errors and (\d+) warnings)"));
        if (files.empty() || totals.empty()) return "no summary";
        return files[1].str() + "/" + totals[1].str() + "/" + totals[2].str();
    }

    void check(const std::string &expectation) {
        const auto [key, want] = split(expectation);
        const FakeView &v = *View;
        if (key == "counts") {
            const std::string shown = v.Counts[0] + "/" + v.Counts[1] + "/" + v.Counts[2];
            EXPECT_EQ(shown, want == "log" ? figuresOfLog() : want);
        } else if (key == "source" || key == "log") {
            const Side side = key == "source" ? Side::Source : Side::Log;
            EXPECT_EQ(relative(Window->directory(side)), want);
            const DirectoryEntries &list = v.Lists.at(side);
            EXPECT_EQ(list.Entries.at(static_cast<std::size_t>(list.ChosenIndex)).Path,
                      Window->directory(side));
        } else if (key == "drive") {
            EXPECT_EQ(relative(v.Drives.at(Side::Source)), want);
        } else if (key == "files") {
            EXPECT_EQ(joined(v.Files, " "), want);
        } else if (key == "subdirs") {
            std::vector<std::string> texts;
            const DirectoryEntries &list = v.Lists.at(Side::Source);
            for (std::size_t i = static_cast<std::size_t>(list.ChosenIndex) + 1;
                 i < list.Entries.size(); ++i)
                texts.push_back(list.Entries[i].Text + (list.Entries[i].Link ? "@" : ""));
            EXPECT_EQ(joined(texts, "|"), want);
        } else if (key == "run") {
            EXPECT_EQ(v.Status.Run.substr(0, want.size()), want) << v.Status.Run;
        } else if (key == "link") {
            EXPECT_EQ(relative(v.Status.LogLink), want);
        } else if (key == "message") {
            // LOG0 stands for the first log's full path.
            std::string text = want;
            if (const auto at = text.find("LOG0"); at != std::string::npos)
                text.replace(at, 4, displayPath(Root / "logs" / "Quillmark_0.log"));
            ASSERT_FALSE(v.Messages.empty());
            EXPECT_EQ(v.Messages.back().second, text);
        } else if (key == "messages") {
            EXPECT_EQ(std::to_string(v.Messages.size()), want);
        } else if (key == "checked") {
            EXPECT_EQ(Window->alsoMusicXml(), want == "1");
        } else if (key == "config") {
            const ConfigLines saved = readConfigFile(Window->configFile());
            std::string text = saved.LogDir ? relative(*saved.LogDir) : "-";
            text += " " + (saved.SourceDir ? relative(*saved.SourceDir) : "-");
            if (saved.AlsoMusicXml) text += *saved.AlsoMusicXml ? " 1" : " 0";
            EXPECT_EQ(text, want);
        } else if (key == "exists" || key == "absent") {
            std::istringstream names(want);
            for (std::string name; names >> name;)
                EXPECT_EQ(fs::exists(bytesAt(name)), key == "exists") << name;
        } else if (key == "closed") {
            EXPECT_EQ(v.Closed, want == "1");
        } else if (key == "help") {
            ASSERT_FALSE(v.HelpShown.empty());
            EXPECT_EQ(relative(v.HelpShown.back()), want);
        } else if (key == "opened") {
            EXPECT_EQ(v.Opened.empty() ? "-" : relative(v.Opened.back()), want);
        } else if (key == "enabled" || key == "disabled") {
            std::istringstream names(want);
            for (std::string name; names >> name;)
                EXPECT_EQ(v.Enabled.at(controlNamed(name)), key == "enabled") << name;
        } else if (key == "focus") {
            EXPECT_EQ(layoutOf(v.Focused).Name, want);
        } else if (key == "progress") {
            EXPECT_EQ(v.Progress.Visible ? v.Progress.Text : "-", want);
        } else {
            ADD_FAILURE() << "unknown expectation " << expectation;
        }
    }

    void play(const Case &c) {
        SCOPED_TRACE(c.Name);
        build(c.Tree);
        Window->start();
        for (const std::string &action : c.Actions) {
            act(action);
            if (::testing::Test::HasFatalFailure()) return;
        }
        for (const std::string &expectation : c.Expected)
            check(expectation);
    }

    fs::path Root;
    std::unique_ptr<FakeView> View;
    std::unique_ptr<MainWindow> Window;
};

const std::vector<Case> &cases() {
    static const std::vector<Case> all{
        {"first start without a configuration",
         {},
         {"activate"},
         {"source start", "log start", "counts 0/0/0", "run Ready", "checked 0", "focus GoButton",
          "enabled GoButton SourceDirBox MusicXmlBox CloseButton", "disabled StopButton",
          "progress -"}},
        {"a run converts the tree and shows the log's figures",
         {"scores/a.nw", "scores/B.NW", "scores/sub/broken.nw=junk", "scores/sub/deeper/d.nw",
          "scores/notes.txt=text", "scores/a.nw.nw"},
         {"source scores", "log logs", "go"},
         {"counts log", "counts 4/4/0", "exists scores/a.nwc scores/B.nwc scores/sub/broken.nwc",
          "absent scores/a.nw.nwc scores/a.musicxml", "config logs scores 0",
          "run Finished: 4 files created, log ", "link logs/Quillmark_0.log", "messages 0",
          "files a.nw B.NW", "enabled GoButton SourceDirBox", "disabled StopButton",
          "focus CloseButton", "progress -"}},
        {"the log link opens the log, and says so when nothing can show it",
         {"scores/a.nw"},
         {"source scores", "log logs", "go", "link", "noopen", "link"},
         {"opened logs/Quillmark_0.log", "message The log file could not be opened: no program to "
                                         "show it was found. It is LOG0."}},
        {"a new source resets the counts, a new log directory does not",
         {"scores/a.nw", "scores/sub/b.nw", "logs/older/"},
         {"source scores", "log logs", "go", "log logs/older"},
         {"counts 2/2/0", "log logs/older", "run Finished"}},
        {"choosing a source after a run sets every count to 0",
         {"scores/a.nw", "scores/sub/b.nw"},
         {"source scores", "log logs", "go", "source scores/sub"},
         {"counts 0/0/0", "run Ready", "files b.nw", "source scores/sub"}},
        {"the drive already shown, chosen again, keeps the directory",
         {"scores/a.nw"},
         {"source scores", "log logs", "go", "source-drive .", "log-drive ."},
         {"source scores", "log logs", "counts 1/1/0", "drive ."}},
        {"another drive goes to its root and resets the counts",
         {"scores/a.nw"},
         {"source scores", "go", "source-drive other"},
         {"source other", "drive other", "counts 0/0/0"}},
        {"activation restores the saved directories",
         {},
         {"config logs scores", "activate"},
         {"source scores", "log logs"}},
        {"a saved log directory that has gone restores only the source",
         {},
         {"config gone scores", "activate"},
         {"source scores", "log start"}},
        {"a configuration of one line restores only the log directory",
         {},
         {"config logs", "activate"},
         {"source start", "log logs"}},
        {"coming back from help puts the lists back where the last run left them",
         {"start/ReadMe.rtf={\\rtf1 help}", "scores/sub/"},
         {"source scores", "log logs", "go", "source scores/sub", "help", "activate"},
         {"source scores", "log logs", "help start/ReadMe.rtf"}},
        {"coming back from help keeps the MusicXML box as the user left it",
         {"scores/a.nw", "start/ReadMe.rtf={\\rtf1 help}"},
         {"config logs scores 0", "activate", "musicxml 1", "help", "activate", "go"},
         {"checked 1", "exists scores/a.nwc scores/a.musicxml", "config logs scores 1"}},
        {"the MusicXML choice saved last time comes back at start",
         {"start/Quillmark.cfg=x\ny\n1\n"},
         {},
         {"checked 1"}},
        {"help without a help file says so",
         {},
         {"help"},
         {"message Help file not found.", "messages 1"}},
        {"the program's own help file comes before the start directory's",
         {"start/ReadMe.rtf={\\rtf1 a}", "share/quillmark/ReadMe.rtf={\\rtf1 b}"},
         {"help"},
         {"help share/quillmark/ReadMe.rtf"}},
        {"a run whose log directory has gone says why and keeps the saved choice",
         {"logs/gone/"},
         {"config logs scores", "activate", "log logs/gone", "rm logs/gone", "go"},
         {"run Stopped: ", "messages 1", "config logs scores", "counts 0/0/0", "enabled GoButton"}},
        {"a run over no scores says so",
         {"scores/notes.txt=text"},
         {"source scores", "log logs", "go"},
         {"run No .nw files found; log ", "link logs/Quillmark_0.log"}},
        {"files the run refuses are counted as files, in the message and on the line alike",
         {"scores/a.nw", "scores/big.nw", "scores/sub/big.nw"},
         {"source scores", "log logs", "go"},
         {"run Finished: 1 file created; 2 files not converted; log ",
          "message Finished with problems: 2 files not converted. The log file LOG0 says why."}},
        {"quit during a run ends the program when the run ends",
         {"scores/a.nw"},
         {"source scores", "log logs", "go &", "quit", "wait"},
         {"closed 1", "exists scores/a.nwc", "messages 0"}},
        {"quit when idle ends the program at once", {}, {"quit"}, {"closed 1"}},
#ifndef _WIN32
        {"names that are not UTF-8 are listed, decoded, and can be chosen",
         {"scores/Pr\xE4ludien/\xC4rias.nw", "scores/plain/"},
         {"source scores", "log logs", "source scores/Pr\xE4ludien", "go"},
         {"files \xC3\x84rias.nw", "exists scores/Pr\xE4ludien/\xC4rias.nwc", "counts 1/1/0"}},
        {"lists show what the run walks: hidden directories, links marked as not followed",
         {"scores/.hidden/h.nw", "scores/plain/p.nw", "scores/Zeta/", "other/e.nw",
          "scores/link>other", "scores/Pr\xE4ludien/", "scores/dir.nw/"},
         {"source scores", "log logs", "go"},
         {"subdirs .hidden|dir.nw|link (link, not followed)@|plain|Pr\xC3\xA4ludien|Zeta",
          "counts 2/2/0", "absent other/e.nwc"}},
#endif
    };
    return all;
}

TEST_F(WindowModel, UserActionsAndWhatTheWindowShows) {
    for (const Case &c : cases()) {
        TearDown();
        SetUp();
        play(c);
    }
}

// Stop ends the run after the file in hand; the log says the run was interrupted.
TEST_F(WindowModel, StopEndsTheRunAfterTheFileInHand) {
    std::vector<std::string> tree;
    for (int i = 0; i < 1000; ++i)
        tree.push_back("scores/s" + std::to_string(i) + ".nw");
    build(tree);
    Window->start();
    choose(Side::Source, "scores");
    choose(Side::Log, "logs");
    Window->goClicked();
    EXPECT_TRUE(View->Enabled.at(Control::Stop));
    EXPECT_FALSE(View->Enabled.at(Control::Go));
    View->runUntil([this] { return View->Counts[0] != "0" || !Window->isRunning(); });
    Window->stopClicked();
    EXPECT_FALSE(View->Enabled.at(Control::Stop));
    check("run Stopping after the file in hand");
    waitForRun();
    const std::string log = readFile(View->Status.LogLink);
    EXPECT_NE(log.find("*** Run interrupted after "), std::string::npos);
    EXPECT_EQ(log.find("files were created"), std::string::npos);
    int outputs = 0;
    for (const auto &entry : fs::directory_iterator(Root / "scores"))
        outputs += entry.path().extension() == ".nwc";
    EXPECT_GT(outputs, 0);
    EXPECT_LT(outputs, 1000);
    check("run Stopped after ");
    check("messages 0");
    check("enabled GoButton");
}

TEST(WindowProgress, CountsTotalAndTimeLeft) {
    using std::chrono::seconds;
    struct Row {
        std::int64_t Done;
        std::optional<std::int64_t> Total;
        seconds Elapsed;
        const char *Text;
        int Percent;
    };
    for (const Row &row : std::vector<Row>{{0, 300, seconds(0), "0/300 files", 0},
                                           {100, 300, seconds(30), "100/300 files, 1:00 left", 33},
                                           {300, 300, seconds(90), "300/300 files", 100},
                                           {12, 10, seconds(5), "12/12 files", 100},
                                           {7, std::nullopt, seconds(5), "7 files", -1}}) {
        const ProgressShown shown = progressFor(row.Done, row.Total, row.Elapsed);
        EXPECT_EQ(shown.Text, row.Text);
        EXPECT_EQ(shown.Percent, row.Percent) << row.Text;
    }
}

#ifndef _WIN32
// A directory the run cannot read is named as a directory, in the message and on the status
// line alike. In a child process without the right to read it (root reads everything).
TEST_F(WindowModel, UnreadableDirectoryIsNamedAsOne) {
    build({"scores/a.nw", "scores/big.nw", "scores/locked/x.nw"});
    for (const char *dir : {".", "start", "scores", "logs"})
        fs::permissions(at(dir), fs::perms::all);
    ::chmod(at("scores/locked").c_str(), 0);
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                std::exit(2);
            Window->start();
            choose(Side::Source, "scores");
            choose(Side::Log, "logs");
            Window->goClicked();
            waitForRun();
            const std::string problems = "1 file not converted and 1 directory not read";
            const bool same =
                View->Status.Run == "Finished: 1 file created; " + problems + "; log " &&
                View->Messages.size() == 1 &&
                View->Messages[0].second.starts_with("Finished with problems: " + problems + ".");
            std::exit(same ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

TEST(WindowConfigFile, ReadsWhatWasWrittenAndFailsQuietly) {
    const fs::path root = test::makeTempTree("qm-config-");
    const fs::path file = root / ConfigFileName;
    const fs::path log = test::utf8Path("/tmp/log dir/\xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(writeConfigFile(file, log, "/home/user/Scores 2", true));
    ConfigLines lines = readConfigFile(file);
    EXPECT_EQ(lines.LogDir, log);
    EXPECT_EQ(lines.SourceDir, fs::path("/home/user/Scores 2"));
    EXPECT_EQ(lines.AlsoMusicXml, true);
    EXPECT_FALSE(writeConfigFile(root / "missing" / ConfigFileName, log, log, false));

    struct Row {
        std::string Bytes;
        std::optional<std::string> Log, Source;
        std::optional<bool> MusicXml;
    };
    const std::string longLine(5000, 'a');
    for (const Row &row : std::vector<Row>{
             {"/l\n/s\n", "/l", "/s", {}},
             {"/l\r\n/s\r\n0\r\n", "/l", "/s", false},
             {"/l\n/so", "/l", "/so", {}},
             {"/l\n", "/l", {}, {}},
             {"", {}, {}, {}},
             {"/l\n/s\nyes\n", "/l", "/s", {}},
             {longLine + "\n/s\n", {}, {}, {}},
         }) {
        writeFile(file, row.Bytes);
        lines = readConfigFile(file);
        const auto text = [](const std::optional<fs::path> &path) {
            return path ? std::optional<std::string>(path->string()) : std::nullopt;
        };
        EXPECT_EQ(text(lines.LogDir), row.Log) << row.Bytes.substr(0, 20);
        EXPECT_EQ(text(lines.SourceDir), row.Source) << row.Bytes.substr(0, 20);
        EXPECT_EQ(lines.AlsoMusicXml, row.MusicXml) << row.Bytes.substr(0, 20);
    }
    // A path with a line break is saved as an empty line, which restores nothing.
    EXPECT_TRUE(writeConfigFile(file, "/a\nb", "/s", false));
    EXPECT_EQ(readConfigFile(file).LogDir, fs::path());
    test::removeTree(root);
}

} // namespace
} // namespace qm::window
