// Converts one source file into one page: the page name, the built-in frame or
// the template around the body, and in test mode the comparison with the page
// stored by an earlier run.
#pragma once

#include <optional>
#include <vector>

#include "io/page_output.h"
#include "io/wiki_in_stream.h"
#include "markup/markup.h"
#include "platform/platform.h"

namespace tarvo {

struct PageOptions : MarkupOptions {
    bool testMode = false;  // compare with the stored page instead of writing it
    WString templateName;   // empty: the built-in page frame
};

// What converting pages keeps over a run: the options and the translation's
// state.
struct PageContext {
    explicit PageContext(const PageOptions& o) : options(o), markup(o) {}

    const PageOptions& options;
    MarkupContext markup;
};

// The output argument without blanks and tabs at either end.
WString trimBlanks(const WString& text);

// The page name for a source path and the output argument (if any).
WString makeOutputName(const WString& sourcePath, const std::optional<WString>& outputArg);

// A source file as a walk found it: the folder it lies in, held open, and its
// path as messages show it, whose tail from nameStart is its name in that
// folder.
struct SourceFile {
    const platform::Folder& folder;
    WString path;
    std::size_t nameStart = 0;
    // The sources listed beside it (sorted): a page never replaces one.
    const std::vector<platform::FileIdentity>* siblings = nullptr;
};

// 0 on success, 1 on a reported failure or, in test mode, a difference.
int convertPage(PageContext& ctx, const SourceFile& source, const std::optional<WString>& outputArg);
// The same for a path from the current folder.
int convertPage(PageContext& ctx, const WString& sourcePath, const std::optional<WString>& outputArg);

// Writes the frame or the template with the body into out. 0, or 1 after a
// reported template failure.
int generatePage(PageContext& ctx, WikiInStream& source, PageOutput& out);

}  // namespace tarvo
