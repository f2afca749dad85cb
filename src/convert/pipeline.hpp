// Converts one NW file, held in memory: every step of the conversion table in order.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "convert/passes.hpp"
#include "core/messages.hpp"

namespace qm {

struct ConversionOptions {
    // Called after every step (for a stave step, after it ran on each stave), so a tool can
    // look at the model between two steps. The stave is null for score steps.
    std::function<void(const Pass &pass, const Score &score, const Stave *stave)> AfterPass;
    // Called before the model's element memory grows by `bytes` (see ElementPool); it may block.
    std::function<void(std::size_t bytes)> BeforeModelGrowth;
    OutputFormats Formats;
};

ConversionOutputs convertNW(std::span<const std::uint8_t> nwBytes, Messages &messages,
                            const ConversionOptions &options = {});

// The NWC bytes of one NW file.
std::vector<std::uint8_t> convertScore(std::span<const std::uint8_t> nwBytes, Messages &messages);

} // namespace qm
