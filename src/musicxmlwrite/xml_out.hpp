// The XML of a MusicXML document, written front to back into memory. The markup comes from the
// writer's own fixed vocabulary (element and attribute names, constant values and numbers);
// every text taken from a score is escaped (escapeText). A document is tens of kilobytes per
// score, so the markup is appended directly rather than one library call per tag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::musicxml {

// A score's 8-bit text as XML character data: bytes above 127 are taken as Latin-1, and
// control characters, which XML 1.0 cannot hold, are left out (tab and line ends stay).
std::string xmlText(std::string_view bytes);

// Character data: "<", ">", "&", '"' and CR as entities, the rest as it is, up to a zero byte;
// byte for byte what libxml2's xmlEncodeSpecialChars gives, without the library, which has no
// build for every system Quillmark runs on.
std::string escapeText(std::string_view text);

class XmlWriter {
public:
    XmlWriter() { Out.reserve(32 * 1024); }

    // The XML declaration and the document type of a partwise score.
    void startDocument();
    void start(const char *name);
    void end();
    // An attribute of the element just started; the value is a constant or a number.
    void attribute(const char *name, const char *value);
    void attribute(const char *name, int value);
    // Text of a score (UTF-8, see xmlText), escaped.
    void text(std::string_view scoreText);
    // Content that is a constant of the vocabulary.
    void value(const char *constant);
    // An element holding a constant of the vocabulary, a number, or a score's text.
    void element(const char *name, const char *constant);
    void element(const char *name, int value);
    void textElement(const char *name, std::string_view scoreText);
    void empty(const char *name) {
        start(name);
        end();
    }
    // Closes every open element and hands over the document.
    std::vector<std::uint8_t> finish();

private:
    void closeStartTag();
    void append(std::string_view text) { Out.insert(Out.end(), text.begin(), text.end()); }
    void append(char c) { Out.push_back(static_cast<std::uint8_t>(c)); }

    std::vector<std::uint8_t> Out; // handed over as it is, without a copy
    std::vector<const char *> Open;
    bool StartTagOpen = false;
};

} // namespace qm::musicxml
