#include <gtest/gtest.h>

#include "core/score.hpp"
#include "core/symbols.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

TEST(ScoreModel, NewNoteElementHasInitialNoteRecord) {
    Element e = newElement(Kind::Rest);
    EXPECT_EQ(e.Kind, Kind::Rest);
    EXPECT_EQ(e.Note.Duration, 3);
    EXPECT_EQ(e.Note.Stem, 0);
    EXPECT_EQ(e.Note.BeamMatched, 1);
    EXPECT_EQ(e.Note.TieMatched, 1);
    EXPECT_EQ(e.Note.SlurDir, 1);
    EXPECT_EQ(e.Note.Accidental, 5);
    EXPECT_EQ(e.Note.Articulation, 4);
    EXPECT_EQ(e.Note.MemberCount, 0);
    EXPECT_EQ(e.Note.HasBeamTo, 0);
    EXPECT_EQ(e.XPos, 0);
}

TEST(ScoreModel, StavesAreNumberedFromTheTailAndReachedInFileOrder) {
    Score score;
    test::RecordingMessages messages;
    createStaves(score, 3, 200, messages);
    ASSERT_EQ(score.Staves.size(), 3u);
    EXPECT_EQ(score.Staves.front().StaveNo, 3);
    EXPECT_EQ(score.Staves.back().StaveNo, 1);
    EXPECT_EQ(&*staveAt(score, 1), &score.Staves.front());
    EXPECT_EQ(staveAt(score, 4), score.Staves.end());
    EXPECT_EQ(score.StaveCount, 3);
    EXPECT_EQ(score.NWVersion, 200);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(ScoreModel, ZeroStavesIsError67) {
    Score score;
    test::RecordingMessages messages;
    createStaves(score, 0, 200, messages);
    EXPECT_TRUE(score.Staves.empty());
    EXPECT_TRUE(messages.has("Error 67: File has wrong format or no staves"));
    freeScore(score);
    EXPECT_EQ(score.StaveCount, 0);
}

TEST(ScoreModel, KindAndAccentNames) {
    EXPECT_EQ(kindName(10), "Oops! ");
    EXPECT_EQ(kindName(13), "Oops! ");
    EXPECT_EQ(kindName(21), "Oops! ");
    EXPECT_EQ(kindName(200), "Oops! ");
    EXPECT_EQ(kindName(22), "Unknown");
    EXPECT_EQ(kindName(Kind::RestChord), "Rest-chord");
    EXPECT_EQ(kindName(Kind::Pedal), "Ped Up/dn");
    EXPECT_EQ(accentName(3), "Mordent");
    EXPECT_EQ(accentName(4), "unknown");
}

TEST(ScoreModel, NoteLetters) {
    EXPECT_EQ(noteLetter(0), 'B');
    EXPECT_EQ(noteLetter(1), 'C');
    EXPECT_EQ(noteLetter(6), 'A');
    EXPECT_EQ(noteLetter(-1), 'A');
    EXPECT_EQ(noteLetter(-2), 'G');
    EXPECT_EQ(noteLetter(-7), 'B');
    EXPECT_EQ(noteLetter(13), 'A');
}

TEST(SymbolCatalogue, NamesAndPlacement) {
    EXPECT_EQ(symbolName(146), "8va");
    EXPECT_EQ(symbolName(156), "semibreve");
    EXPECT_EQ(symbolName(157), "Unknown symbol");
    EXPECT_EQ(symbolName(0), "Unknown symbol");
    EXPECT_EQ(symbolName(75), "Marcato");
    EXPECT_EQ(symbolName(64), "Accent");
    EXPECT_EQ(symbolName(76), "Accent");
    EXPECT_TRUE(symbolKeepsPosition(64));
    EXPECT_FALSE(symbolKeepsPosition(76));
    EXPECT_TRUE(symbolKeepsPosition(137));
    EXPECT_FALSE(symbolKeepsPosition(136));
}

} // namespace
} // namespace qm
