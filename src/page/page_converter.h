// Converts one source file into one page: the page name, the built-in frame or
// the template around the body, the DOT files of its diagrams, and in test
// mode the comparison with the page stored by an earlier run.
#pragma once

#include <atomic>
#include <optional>
#include <vector>

#include "io/output_file.h"
#include "io/page_output.h"
#include "io/wiki_in_stream.h"
#include "markup/markup.h"
#include "page/link_check.h"
#include "page/report.h"
#include "platform/platform.h"

namespace tarvo {

struct PageOptions {
    bool testMode = false;  // compare with the stored page instead of writing it
    WString templateName;   // empty: the built-in page frame
    WString workDir;        // put in front of DOT file names
    MarkupOptions markup;
    bool checkLinks = false;  // keep each body's links for the check after the run
};

// What the pages of one run share.
struct RunState {
    WrittenFiles written;
    // A DOT file or a folder of the walk failed: the run fails once it is done.
    std::atomic<bool> failAtEnd{false};
    // The folder part of workDir, opened once: no DOT file leaves it.
    platform::Folder workFolder;
    bool workFolderOpen = false;
    platform::FileIdentity templateFile;
    // The pages made and, with checkLinks, their links.
    LinkCheck links;
};

// Sets up the run's state for these options: the work folder and the
// template are looked up once.
void startRun(RunState& run, const PageOptions& options);

// What converting pages keeps over a run.
struct PageContext {
    PageContext(const PageOptions& o, RunState& r, Report& rep) : options(o), run(r), report(rep), markup(o.markup) {}

    const PageOptions options;
    RunState& run;
    Report& report;
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
    // What the listing showed: a regular file with this identity, or nothing
    // known (then the file is asked).
    platform::FileIdentity identity;
    // The sources listed beside it (sorted): a page never replaces one.
    const std::vector<platform::FileIdentity>* siblings = nullptr;
};

// 0 on success, 1 on a reported failure or, in test mode, a difference.
int convertPage(PageContext& ctx, const SourceFile& source, const std::optional<WString>& outputArg);

}  // namespace tarvo
