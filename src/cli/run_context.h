// Everything one run of the program keeps: the options, the reporter, what
// the pages share, and the pages under way. Owned by the
// run and passed down by reference, so that separate runs (and tests) never
// share state.
#pragma once

#include <memory>

#include "cli/convert_options.h"
#include "page/page_converter.h"
#include "page/page_run.h"
#include "page/report.h"

namespace tarvo {

struct RunContext {
    ConvertOptions options;
    Report report;
    RunState state;
    // The pages, made once the options are read (convertPath).
    std::unique_ptr<PageRun> pages;
};

}  // namespace tarvo
