#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <vector>

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

TEST(ElementPool, FreedBlocksAreHandedOutAgainBySize) {
    ElementPool pool;
    std::pmr::memory_resource &memory = pool;
    void *node = memory.allocate(88, 8);
    void *other = memory.allocate(40, 8);
    void *tiny = memory.allocate(1, 1);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(node) % 8, 0u);
    memory.deallocate(node, 88, 8);
    memory.deallocate(other, 40, 8);
    memory.deallocate(tiny, 1, 1);
    EXPECT_EQ(memory.allocate(40, 8), other); // each size from its own list
    EXPECT_EQ(memory.allocate(88, 8), node);
    EXPECT_NE(memory.allocate(88, 8), node); // given out once only
    EXPECT_EQ(memory.allocate(8, 8), tiny);

    // Large and over-aligned blocks come from the monotonic buffer and are not recycled.
    void *large = memory.allocate(ElementPool::MaxPooledBlock + 1, 8);
    memory.deallocate(large, ElementPool::MaxPooledBlock + 1, 8);
    EXPECT_NE(memory.allocate(ElementPool::MaxPooledBlock + 1, 8), large);
    void *aligned = memory.allocate(64, 64);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(aligned) % 64, 0u);

    // Many blocks span several chunks without overlapping.
    std::vector<char *> blocks;
    for (int i = 0; i < 5000; ++i) {
        blocks.push_back(static_cast<char *>(memory.allocate(88, 8)));
        std::memset(blocks.back(), i % 256, 88);
    }
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(blocks[static_cast<std::size_t>(i)][87], static_cast<char>(i % 256)) << i;
}

// Counts what a list gives back, to see which lists freeScore destroys.
class CountingMemory : public std::pmr::memory_resource {
public:
    int Live = 0;

private:
    void *do_allocate(std::size_t bytes, std::size_t alignment) override {
        ++Live;
        return std::pmr::new_delete_resource()->allocate(bytes, alignment);
    }
    void do_deallocate(void *p, std::size_t bytes, std::size_t alignment) override {
        --Live;
        std::pmr::new_delete_resource()->deallocate(p, bytes, alignment);
    }
    bool do_is_equal(const memory_resource &other) const noexcept override {
        return this == &other;
    }
};

TEST(ScoreModel, FreeScoreGivesUpThePoolsListsAndDestroysOthers) {
    CountingMemory elsewhere;
    {
        Score score;
        test::RecordingMessages messages;
        createStaves(score, 2, 200, messages);
        for (Stave &stave : score.Staves)
            preCreateElements(stave, 1000);
        Stave foreign = newStave(&elsewhere);
        preCreateElements(foreign, 3);
        score.Staves.push_back(std::move(foreign));
        EXPECT_EQ(elsewhere.Live, 3);
        freeScore(score);
        EXPECT_TRUE(score.Staves.empty());
        EXPECT_EQ(score.StaveCount, 0);
        EXPECT_EQ(elsewhere.Live, 0);
    }
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
