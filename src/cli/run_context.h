// Everything one run of the program keeps: the options and the state of the
// pages being converted. Owned by the run and passed down by reference, so
// that separate runs (and tests) never share state.
#pragma once

#include "cli/convert_options.h"
#include "page/page_converter.h"

namespace tarvo {

struct RunContext {
    ConvertOptions options;
    PageContext page{options};
};

}  // namespace tarvo
