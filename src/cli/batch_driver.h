#pragma once

#include <optional>

#include "cli/run_context.h"

namespace tarvo {

// Converts every file that matches the input path (wildcards in its last
// component), and with `recursive` the same pattern in every sub-directory,
// stopping at the first failure. 0 when every conversion succeeded.
int convertPath(RunContext& ctx, const WString& inputPath, const std::optional<WString>& outputArg);

// Converts one page onto standard output: from standard input when input is
// "-", else from the file it names. 0 when it was converted.
int convertStream(RunContext& ctx, const WString& input);

}  // namespace tarvo
