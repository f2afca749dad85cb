// Pitch as a musician reads it from the staff: the clef names the lines, the key signature and
// the accidentals of the bar alter them, and a tie carries an altered pitch into the next bar.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace qm::musicxml {

struct Pitch {
    char Step = 'C';
    std::int8_t Alter = 0;  // -2 .. 2
    std::int8_t Octave = 4; // 0 .. 9
    // A printed natural a musician reads as a courtesy: the bar's only other note at its place
    // was an altered note tied in from the bar before, and neither key nor bar alters it.
    bool Courtesy = false;
};

// The clef codes of the model: 0 treble, 1 bass, 2 alto, 3 tenor.
struct ClefSign {
    char Sign;
    int Line;
};
std::optional<ClefSign> clefSign(std::uint8_t code);

// Key signature as MusicXML fifths: sharps positive, flats negative, at most seven either way.
int keyFifths(bool sharps, bool flats, std::int32_t signCount);

// The alteration of a model accidental code (0 double flat .. 4 double sharp); none for 5.
// Read for every note, so kept where the compiler can fold it in.
inline std::optional<int> accidentalAlter(std::uint8_t code) {
    if (code > 4) return std::nullopt;
    return static_cast<int>(code) - 2;
}

// Follows one staff through its elements in order and tells the pitch of each note.
class PitchReader {
public:
    void setClef(std::uint8_t code) { Clef = code < 4 ? code : 0; }
    void setKey(int fifths);
    void startBar();
    // Reads another staff from its start: treble clef, no key, nothing tied in. What the
    // last staff's bars held is forgotten with its bars; only the ties are cleared.
    void startStaff();

    // The pitch of a note at a staff position with its accidental code (0 double flat ..
    // 4 double sharp printed, else none; see accidentalAlter), tied in from an earlier note
    // and/or tied on to a later one. None when the pitch lies outside the octaves a MusicXML
    // file can hold (0 to 9): then `pitch` is left as it was and the result is false. Written
    // into the caller's note, as it is read for every note. (The code is passed as it is:
    // an optional built just before the call is stored in two parts and read back in one,
    // which stalls the processor on every note.)
    bool read(std::int32_t position, std::uint8_t accidental, bool tiedIn, bool tiesOn,
              Pitch &pitch);

private:
    static constexpr int Unset = 127;
    static constexpr int PositionOffset = 128; // positions -128..127 index 0..255
    std::optional<std::size_t> slot(std::int32_t position) const;

    // An accidental of the bar counts only while its bar lasts: each bar has its own number,
    // so starting a bar forgets them all at once.
    struct BarAccidental {
        std::uint32_t Bar = 0;
        int Alter = 0;
    };

    std::uint8_t Clef = 0;
    std::array<int, 7> KeyAlter{}; // by step, C = 0 .. B = 6
    std::uint32_t Bar = 1;
    std::array<BarAccidental, 256> BarAlter{};
    std::array<BarAccidental, 256> TiedInAlter{}; // altered notes tied into the bar
    std::array<int, 256> TieAlter = unset();

    static std::array<int, 256> unset() {
        std::array<int, 256> a{};
        a.fill(Unset);
        return a;
    }
};

} // namespace qm::musicxml
