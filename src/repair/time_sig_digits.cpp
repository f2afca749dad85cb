#include "repair/time_sig_digits.hpp"

#include <algorithm>
#include <cstdint>

namespace qm {

namespace {

// The NWC time-signature record gives the numerator one byte; merged numbers stop there.
constexpr std::int32_t MaxTimeSigNumber = 255;

// Kinds that end a run of time-signature digits.
bool endsTimeSigDigits(Kind kind) {
    return kind == Kind::Clef || kind == Kind::BarLine || kind == Kind::Note ||
           kind == Kind::Rest || kind == Kind::KeySig || kind == Kind::Accidental;
}

std::int32_t appendDigit(std::int32_t number, std::int32_t digit) {
    return std::min(10 * number + digit, MaxTimeSigNumber);
}

void mergeDigitInto(TimeSigData &first, const TimeSigData &digit) {
    if (digit.IsTop) {
        first.Numerator = appendDigit(first.Numerator, digit.Numerator);
    } else {
        first.Denominator = appendDigit(first.Denominator, digit.Denominator);
    }
}

} // namespace

void mergeTimeSigDigits(Stave &stave) {
    TimeSigData *first = nullptr; // the time signature whose digits are being gathered
    for (Element &element : stave.Elements) {
        if (element.Kind == Kind::TimeSig) {
            if (first) {
                mergeDigitInto(*first, element.TimeSig);
                element.Kind = Kind::Unknown;
            } else {
                first = &element.TimeSig;
            }
        } else if (endsTimeSigDigits(element.Kind)) {
            first = nullptr;
        }
    }
}

} // namespace qm
