#include "nwread/signs.hpp"

// Placeholder decoders: each leaves the element as the reader framed it.
namespace qm {

void decodeNewStave(Element&, const Record&, DecodeContext&) {}
void decodeClef(Element&, const Record&, DecodeContext&) {}
void decodeBarLine(Element&, const Record&, DecodeContext&) {}
void decodeTimeSig(Element&, const Record&, DecodeContext&) {}
void decodeKeySig(Element&, const Record&, DecodeContext&) {}
void decodeText(Element&, const Record&, DecodeContext&) {}
void decodeLineSegment(Element&, const Record&, DecodeContext&) {}
void decodeArpeggio(Element&, const Record&, DecodeContext&) {}
void decodeVolume(Element&, const Record&, DecodeContext&) {}
void decodePedal(Element&, const Record&, DecodeContext&) {}
void decodeTempoVar(Element&, const Record&, DecodeContext&) {}
void decodeFlowControl(Element&, const Record&, DecodeContext&) {}
void decodeSymbol(Element&, const Record&, DecodeContext&) {}
void decodeAccidental(Element&, const Record&, DecodeContext&) {}
void decodeSlurPoint(Element&, const Record&, DecodeContext&) {}
void decodeAccent(Element&, const Record&, DecodeContext&) {}

} // namespace qm
