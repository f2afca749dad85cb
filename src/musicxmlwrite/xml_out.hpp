// A thin layer over libxml2's streaming writer: elements, attributes and text into a memory
// buffer, with every call checked (the library escapes what needs escaping).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::musicxml {

// A score's 8-bit text as XML character data: bytes above 127 are taken as Latin-1, and
// control characters, which XML 1.0 cannot hold, are left out (tab and line ends stay).
std::string xmlText(std::string_view bytes);

class XmlWriter {
public:
    XmlWriter();
    ~XmlWriter();
    XmlWriter(const XmlWriter &) = delete;
    XmlWriter &operator=(const XmlWriter &) = delete;

    // The XML declaration and the document type of a partwise score.
    void startDocument();
    void start(const char *name);
    void end();
    // Attributes and text must already be UTF-8 (see xmlText).
    void attribute(const char *name, std::string_view value);
    void attribute(const char *name, int value) { attribute(name, std::to_string(value)); }
    void text(std::string_view value);
    void element(const char *name, std::string_view value) {
        start(name);
        text(value);
        end();
    }
    void element(const char *name, int value) { element(name, std::to_string(value)); }
    void empty(const char *name) {
        start(name);
        end();
    }
    // Closes every open element and hands over the document.
    std::vector<std::uint8_t> finish();

private:
    struct State;
    State *Impl;
};

} // namespace qm::musicxml
