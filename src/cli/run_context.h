// Everything one run of the program keeps: the options, the state of the page
// being translated and the diagram state. Owned by the run and passed down by
// reference, so that separate runs (and tests) never share state.
#pragma once

#include "cli/convert_options.h"
#include "diagram/diagram_block.h"
#include "markup/block_state.h"
#include "markup/inline_buffers.h"

namespace tarvo {

struct RunContext {
    ConvertOptions options;
    BlockState block;
    DiagramState diagram;
    InlineBuffers inlineBuffers;  // working memory of the inline formatter, reused line after line
};

}  // namespace tarvo
