#include "repair/time_sig_digits.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace qm {

namespace {

// Merged numbers keep their true value up to the 32-bit limit; the writer fits them to their
// fields.
constexpr std::int64_t MaxTimeSigNumber = std::numeric_limits<std::int32_t>::max();

// Kinds that end a run of time-signature digits.
bool endsTimeSigDigits(Kind kind) {
    return kind == Kind::Clef || kind == Kind::BarLine || kind == Kind::Note ||
           kind == Kind::Rest || kind == Kind::KeySig || kind == Kind::Accidental;
}

std::int32_t appendDigit(std::int32_t number, std::int32_t digit) {
    const std::int64_t merged = 10 * static_cast<std::int64_t>(number) + digit;
    return static_cast<std::int32_t>(std::min(merged, MaxTimeSigNumber));
}

void mergeDigitInto(TimeSigData &first, const TimeSigData &digit) {
    if (digit.IsTop) {
        first.Numerator = appendDigit(first.Numerator, digit.Numerator);
    } else {
        first.Denominator = appendDigit(first.Denominator, digit.Denominator);
    }
}

} // namespace

void mergeTimeSigDigits(Stave &stave, std::int32_t timeSigs) {
    TimeSigData *first = nullptr; // the time signature whose digits are being gathered
    for (Element &element : stave.Elements) {
        if (element.Kind == Kind::TimeSig) {
            if (first) {
                mergeDigitInto(*first, element.TimeSig);
                element.Kind = Kind::Unknown;
            } else {
                first = &element.TimeSig;
            }
            if (--timeSigs == 0) return; // nothing after the last one changes
        } else if (endsTimeSigDigits(element.Kind)) {
            first = nullptr;
        }
    }
}

} // namespace qm
