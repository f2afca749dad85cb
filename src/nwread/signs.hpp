// Decoding of every record that is not a note or rest: clefs, bar lines, signatures, texts,
// accidentals, slur points and the signs of record type 13.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"
#include "nwread/record.hpp"

namespace qm {

// What a decoder may touch besides its element: the stave being read and the score's texts.
struct DecodeContext {
    Stave &stave;
    Score &score;
    Messages &messages;
};

void decodeNewStave(Element &element, const Record &record, DecodeContext &context);
void decodeClef(Element &element, const Record &record, DecodeContext &context);
void decodeBarLine(Element &element, const Record &record, DecodeContext &context);
void decodeTimeSig(Element &element, const Record &record, DecodeContext &context);
void decodeKeySig(Element &element, const Record &record, DecodeContext &context);
void decodeText(Element &element, const Record &record, DecodeContext &context);
void decodeLineSegment(Element &element, const Record &record, DecodeContext &context);
void decodeArpeggio(Element &element, const Record &record, DecodeContext &context);
void decodeVolume(Element &element, const Record &record, DecodeContext &context);
void decodePedal(Element &element, const Record &record, DecodeContext &context);
void decodeTempoVar(Element &element, const Record &record, DecodeContext &context);
void decodeFlowControl(Element &element, const Record &record, DecodeContext &context);
void decodeSymbol(Element &element, const Record &record, DecodeContext &context);
void decodeAccidental(Element &element, const Record &record, DecodeContext &context);
void decodeSlurPoint(Element &element, const Record &record, DecodeContext &context);
void decodeAccent(Element &element, const Record &record, DecodeContext &context);

} // namespace qm
