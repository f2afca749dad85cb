#include "musicxmlwrite/pitch.hpp"

#include <algorithm>

namespace qm::musicxml {

namespace {

constexpr std::array<char, 7> StepNames = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};

// Diatonic number (octave * 7 + step) of the staff's middle line, by clef: treble B4,
// bass D3, alto C4, tenor A3.
constexpr std::array<int, 4> MiddleLine = {4 * 7 + 6, 3 * 7 + 1, 4 * 7 + 0, 3 * 7 + 5};

// Steps in the order the signs of a key are added.
constexpr std::array<int, 7> SharpOrder = {3, 0, 4, 1, 5, 2, 6}; // F C G D A E B
constexpr std::array<int, 7> FlatOrder = {6, 2, 5, 1, 4, 0, 3};  // B E A D G C F

constexpr int MaxOctave = 9;

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

} // namespace

std::optional<ClefSign> clefSign(std::uint8_t code) {
    switch (code) {
    case 0: return ClefSign{'G', 2};
    case 1: return ClefSign{'F', 4};
    case 2: return ClefSign{'C', 3};
    case 3: return ClefSign{'C', 4};
    default: return std::nullopt;
    }
}

int keyFifths(bool sharps, bool flats, std::int32_t signCount) {
    const int count = std::clamp<std::int32_t>(signCount, 0, 7);
    if (flats) return -count;
    return sharps ? count : 0;
}

void PitchReader::setKey(int fifths) {
    KeyAlter.fill(0);
    const int count = std::min(fifths < 0 ? -fifths : fifths, 7);
    const auto &order = fifths < 0 ? FlatOrder : SharpOrder;
    for (int i = 0; i < count; ++i)
        KeyAlter[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])] =
            fifths < 0 ? -1 : 1;
    // A new key cancels what the bar's accidentals said.
    startBar();
}

void PitchReader::startBar() { ++Bar; }

void PitchReader::startStaff() {
    Clef = 0;
    KeyAlter.fill(0);
    TieAlter.fill(Unset);
    startBar();
}

std::optional<std::size_t> PitchReader::slot(std::int32_t position) const {
    if (position < -PositionOffset || position >= PositionOffset) return std::nullopt;
    return static_cast<std::size_t>(position + PositionOffset);
}

bool PitchReader::read(std::int32_t position, std::uint8_t accidental, bool tiedIn, bool tiesOn,
                       Pitch &pitch) {
    const std::optional<std::size_t> at = slot(position);
    if (!at) return false;
    const int diatonic = MiddleLine[Clef] + position;
    const int octave = floorDiv(diatonic, 7);
    if (octave < 0 || octave > MaxOctave) return false;
    const int step = diatonic - octave * 7;

    // STEP 1: the alteration: a printed accidental (which holds for the rest of the bar),
    // else a tie from an altered note, else the bar's earlier accidental, else the key.
    const int keyAlter = KeyAlter[static_cast<std::size_t>(step)];
    int alter = keyAlter;
    bool courtesy = false;
    if (accidental <= 4) {
        alter = static_cast<int>(accidental) - 2;
        courtesy = alter == 0 && keyAlter == 0 && BarAlter[*at].Bar != Bar &&
                   TiedInAlter[*at].Bar == Bar && TiedInAlter[*at].Alter != 0;
        BarAlter[*at] = BarAccidental{Bar, alter};
    } else if (tiedIn && TieAlter[*at] != Unset) {
        alter = TieAlter[*at];
        TiedInAlter[*at] = BarAccidental{Bar, alter};
    } else if (BarAlter[*at].Bar == Bar) {
        alter = BarAlter[*at].Alter;
    }
    // STEP 2: remember what a tie carries on to the next note at this position.
    TieAlter[*at] = tiesOn ? alter : Unset;
    pitch.Step = StepNames[static_cast<std::size_t>(step)];
    pitch.Alter = static_cast<std::int8_t>(alter);
    pitch.Octave = static_cast<std::int8_t>(octave);
    pitch.Courtesy = courtesy;
    return true;
}

} // namespace qm::musicxml
