// The name of a page: formed from its source's path and the output argument.
#pragma once

#include <optional>

#include "text/utf.h"

namespace tarvo {

// The output argument without blanks and tabs at either end.
WString trimBlanks(const WString& text);

// The page name for a source path and the output argument (if any): the
// source's name with ".html" for its extension, beside it, in the output
// folder (an argument ending in "/", "\" or ":"), or the argument itself
// with ".html".
WString makeOutputName(const WString& sourcePath, const std::optional<WString>& outputArg);

// The name a page shows as its title: its source's file name without the
// extension, each "_" shown as a blank.
WString pageTitle(const WString& sourcePath);

}  // namespace tarvo
