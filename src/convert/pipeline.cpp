#include "convert/pipeline.hpp"

#include "core/score.hpp"

namespace qm {

namespace {

void runPass(const Pass &pass, PassContext &context, const ConversionOptions &options) {
    pass.Run(context);
    if (options.AfterPass) options.AfterPass(pass, context.score, context.stave);
}

// Runs steps [first, last), all of them Stave steps, on each stave in turn.
void runStaveSteps(std::span<const Pass> steps, PassContext &context,
                   const ConversionOptions &options) {
    const Stave *previous = nullptr;
    for (Stave &stave : context.score.Staves) {
        context.stave = &stave;
        context.previous = previous;
        ++context.staveNumber;
        for (const Pass &pass : steps)
            runPass(pass, context, options);
        previous = &stave;
    }
    context.stave = nullptr;
    context.previous = nullptr;
}

} // namespace

ConversionOutputs convertNW(std::span<const std::uint8_t> nwBytes, Messages &messages,
                            const ConversionOptions &options) {
    Score score;
    score.ElementMemory->BeforeGrowth = options.BeforeModelGrowth;
    RecordSource source(nwBytes);
    ConversionOutputs outputs;
    PassContext context{score, messages, source, outputs};
    context.formats = options.Formats;

    const std::span<const Pass> passes = conversionPasses();
    for (std::size_t i = 0; i < passes.size();) {
        if (passes[i].Scope == PassScope::Score) {
            runPass(passes[i++], context, options);
            continue;
        }
        std::size_t end = i;
        while (end < passes.size() && passes[end].Scope == PassScope::Stave)
            ++end;
        runStaveSteps(passes.subspan(i, end - i), context, options);
        i = end;
    }

    freeScore(score);
    return outputs;
}

std::vector<std::uint8_t> convertScore(std::span<const std::uint8_t> nwBytes, Messages &messages) {
    return convertNW(nwBytes, messages).Nwc;
}

} // namespace qm
