// The inspection commands: nw build, nw dump, nw passes and dump.
#include "e2e/cli_fixture.hpp"

namespace {

using namespace qm::e2e;

using ToolCommands = CliTest;

TEST_F(ToolCommands, NwBuildAndDumpRoundTripThroughFilesAndStandardInput) {
    const std::string text = scoreText(3) + "text x=50 y=990 style=1 text=\"Allegro\"\n";
    writeFile(Root / "score.txt", text);

    ASSERT_EQ(run("nw build " + quote(Root / "score.txt") + " -o " + quote(Root / "a.nw")).Status,
              0);
    ASSERT_EQ(run("nw build - -o " + quote(Root / "b.nw"), "", shown(Root / "score.txt")).Status,
              0);
    const std::string bytes = readFile(Root / "a.nw");
    EXPECT_EQ(readFile(Root / "b.nw"), bytes);
    const std::vector<std::uint8_t> expected = qm::nwtext::build(text);
    EXPECT_EQ(bytes, std::string(expected.begin(), expected.end()));

    const Outcome dumped = run("nw dump " + quote(Root / "a.nw"));
    ASSERT_EQ(dumped.Status, 0) << dumped.Err;
    writeFile(Root / "again.txt", dumped.Out);
    ASSERT_EQ(run("nw build " + quote(Root / "again.txt") + " -o " + quote(Root / "c.nw")).Status,
              0);
    EXPECT_EQ(readFile(Root / "c.nw"), bytes);
}

TEST_F(ToolCommands, NwBuildReportsBadTextAndBadUsage) {
    writeFile(Root / "bad.txt", "header staves=1\nnonsense x=1\n");
    const Outcome bad = run("nw build " + quote(Root / "bad.txt") + " -o " + quote(Root / "x.nw"));
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Err.find("line 2"), std::string::npos) << bad.Err;
    EXPECT_FALSE(fs::exists(Root / "x.nw"));

    const Outcome missing =
        run("nw build " + quote(Root / "none.txt") + " -o " + quote(Root / "x.nw"));
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("none.txt: cannot open"), std::string::npos) << missing.Err;

    EXPECT_EQ(run("nw build " + quote(Root / "bad.txt")).Status, 2); // no -o
    EXPECT_EQ(run("nw").Status, 2);
}

TEST_F(ToolCommands, NwPassesListsTheStepsAndPrintsTheModelAfterOne) {
    writeScore(Root / "score.nw");
    const Outcome list = run("nw passes " + quote(Root / "score.nw"));
    ASSERT_EQ(list.Status, 0) << list.Err;
    EXPECT_EQ(list.Out.rfind("read-header\nread-stave (each stave)\n", 0), 0u) << list.Out;

    const Outcome model =
        run("nw passes " + quote(Root / "score.nw") + " --print-after build-chords");
    ASSERT_EQ(model.Status, 0) << model.Err;
    EXPECT_EQ(model.Out.rfind("== after build-chords, stave 1\nstave 1 ", 0), 0u) << model.Out;

    const Outcome unknown = run("nw passes " + quote(Root / "score.nw") + " --print-after nothing");
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_NE(unknown.Err.find("no step named 'nothing'"), std::string::npos) << unknown.Err;
    EXPECT_NE(unknown.Err.find("write-nwc"), std::string::npos) << unknown.Err;
}

TEST_F(ToolCommands, DumpRefusesWhatIsNotAnNwcFile) {
    writeFile(Root / "junk.nwc", "hello, not a score");
    const Outcome junk = run("dump " + quote(Root / "junk.nwc"));
    EXPECT_EQ(junk.Status, 1);
    EXPECT_NE(junk.Err.find(shown(Root / "junk.nwc")), std::string::npos) << junk.Err;

    const Outcome missing = run("dump " + quote(Root / "none.nwc"));
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("cannot open: No such file or directory"), std::string::npos);
}

} // namespace
