#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace tarvo {

// Working memory of the inline formatter, kept between calls so that a line
// does not cost fresh allocations.
struct InlineBuffers {
    std::string done;     // translated text before the scan position
    // Text still to scan, once something was pushed back. Not initialised:
    // only the bytes written count against the process's memory.
    std::unique_ptr<char[]> input;
    std::string scratch;  // inserted text being built
};

}  // namespace tarvo
