// Puts what the RTF reader found into a Qt text document.
#pragma once

#include <QTextDocument>

#include "app/gui/rtf_reader.hpp"

namespace qm::gui {

// Replaces the document's contents: one block per paragraph, one character format per run.
void renderRtf(const rtf::Document &document, QTextDocument &target);

} // namespace qm::gui
