// Everything one run of the program keeps: the options, the reporter, what
// the pages share, and the state of the page being converted. Owned by the
// run and passed down by reference, so that separate runs (and tests) never
// share state.
#pragma once

#include <memory>

#include "cli/convert_options.h"
#include "page/page_converter.h"
#include "page/report.h"

namespace tarvo {

struct RunContext {
    ConvertOptions options;
    Report report;
    RunState state;
    // Made once the options are read (startConversion).
    std::unique_ptr<PageContext> page;
};

}  // namespace tarvo
