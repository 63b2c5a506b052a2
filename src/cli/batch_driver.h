// The walk over the input path, and the run it feeds.
#pragma once

#include <optional>

#include "cli/convert_options.h"
#include "page/report.h"

namespace tarvo {

// Converts every file that matches the input path (wildcards in its last
// component), and with `recursive` the same pattern in every sub-directory,
// stopping at the first failure. The exit status: 0 when every conversion
// succeeded.
int convertPath(const ConvertOptions& options, Report& report, const WString& inputPath,
                const std::optional<WString>& outputArg);

// Converts one page onto standard output: from standard input when input is
// "-", else from the file it names. The exit status.
int convertStream(const ConvertOptions& options, Report& report, const WString& input);

}  // namespace tarvo
