// What must hold for any input, whatever its bytes: one check per fuzz target. Each returns an
// empty string when the input passes and a description of the fault otherwise, so the fuzz
// targets and the regression tests share them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qm::fuzz {

// Converts NW bytes with every writer. The NWC output must be followed to its end by the dump's
// reader, with as many staves as its header counts and each staff's records adding up to the
// object count of its header; the MusicXML output must be valid; the log lines must match the
// message counts.
std::string checkConversion(std::span<const std::uint8_t> nwBytes);

// The NWC invariants of checkConversion on bytes our writer produced.
std::string checkNwcOutput(std::span<const std::uint8_t> nwcBytes);

// The MusicXML output is well-formed and valid against the MusicXML 4.0 schema.
std::string checkMusicXmlOutput(std::span<const std::uint8_t> xmlBytes);

// The text form both ways: any bytes, dumped and built again, come back unchanged; and so do
// the bytes of whatever text `build` accepts.
std::string checkNwTextRoundTrip(std::string_view text);

// The NWC dump on arbitrary bytes: it either lists the file or says where it lost its way, and
// no byte of the file reaches the listing unescaped.
std::string checkNwcDump(std::span<const std::uint8_t> bytes);

// Output names and log headings for the names of one directory, separated by '/': each
// accepted input gets NWC and MusicXML names no file or earlier output has (case-blind), and
// no name can put a control character, a line break among them, into the log.
std::string checkBatchNames(std::string_view names);

} // namespace qm::fuzz
