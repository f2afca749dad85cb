// Reading a score in the NW text form into its staves without the stave passes, so a test runs
// just the decoder or pass it is about.
#pragma once

#include <string_view>
#include <vector>

#include "nwread/reader.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

namespace qm::test {

inline Score decodeRecords(std::string_view text, RecordingMessages &messages) {
    const std::vector<std::uint8_t> bytes = nwtext::build(text);
    RecordSource source(bytes);
    Score score;
    const HeaderReadResult header = readNWHeader(source, score, messages);
    for (std::int32_t k = 1; k <= header.StaveCount; ++k) {
        Stave &stave = *staveAt(score, k);
        std::int32_t e = 0;
        for (Element &element : stave.Elements)
            readNWElement(source, score, stave, element, k, ++e, messages);
    }
    return score;
}

} // namespace qm::test
