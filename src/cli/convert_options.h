// The settings of one run, read from the command line and fixed afterwards.
// Each layer below declares the part it reads (DiagramOptions, MarkupOptions,
// PageOptions); this record is all of them together.
#pragma once

#include "page/page_converter.h"

namespace tarvo {

struct ConvertOptions : PageOptions {
    bool recursive = false;  // walk sub-directories too
};

}  // namespace tarvo
