#include <gtest/gtest.h>

#include <string>

#include "app/batch/utf16.hpp"

namespace qm::batch {
namespace {

// Every Windows name comes back unchanged, unpaired surrogates included.
TEST(Utf16, NamesRoundTripThroughUtf8) {
    const struct {
        std::u16string utf16;
        std::string utf8;
    } cases[] = {
        {u"a.nw", "a.nw"},
        {u"\u00c4ria", "\xc3\x84ria"},
        {u"\u266b\u66f2", "\xe2\x99\xab\xe6\x9b\xb2"},
        {u"\U0001D11E", "\xf0\x9d\x84\x9e"},                    // a pair: one four-byte character
        {std::u16string(1, u'\xd834') + u"x", "\xed\xa0\xb4x"}, // unpaired high surrogate
        {u"x" + std::u16string(1, u'\xdd1e'), "x\xed\xb4\x9e"}, // unpaired low surrogate
    };
    for (const auto &c : cases) {
        EXPECT_EQ(utf8FromUtf16(c.utf16), c.utf8);
        EXPECT_EQ(utf16FromUtf8(c.utf8), c.utf16);
    }
}

TEST(Utf16, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"a\xff"
         "b",
         u"a\ufffdb"},
        {"\xc3", u"\ufffd"},           // cut short
        {"\xc0\xaf", u"\ufffd\ufffd"}, // overlong
        {"\xe2\x99"
         "x",
         u"\ufffd\ufffdx"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(utf16FromUtf8(c.utf8), c.utf16) << c.utf8;
}

} // namespace
} // namespace qm::batch
