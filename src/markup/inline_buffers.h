#pragma once

#include <string>

namespace tarvo {

// Working memory of the inline formatter, kept between calls so that a line
// does not cost fresh allocations.
struct InlineBuffers {
    std::string done;     // translated text before the scan position
    std::string input;    // text still to scan, once something was pushed back
    std::string scratch;  // inserted text being built
};

}  // namespace tarvo
