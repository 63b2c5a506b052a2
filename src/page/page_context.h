// What converting a page works with: the run's options, what the pages of
// the run share, and the workspace of the thread that makes it.
#pragma once

#include <string>

#include "io/refusal.h"
#include "io/wiki_in_stream.h"
#include "io/written_files.h"
#include "markup/markup.h"
#include "page/pictures.h"
#include "platform/platform.h"

namespace tarvo {

class LinkCheck;

struct PageOptions {
    bool testMode = false;  // compare with the stored page instead of writing it
    WString templateName;   // empty: the built-in page frame
    WString workDir;        // put in front of DOT file names
    MarkupOptions markup;
    bool checkLinks = false;  // keep each body's links for the check after the run
    PictureOptions pictures;  // the diagrams' pictures
    // The built-in frame of HTML5 with the page's name as its title, and
    // {{PAGENAME}} replaced in a template; headings get ids.
    bool html5 = false;
    bool contents = false;  // a table of contents on the pages that call for one
};

// What the pages of one run share. The run owns it and sets it up before
// the first page; pages read it and add to what it records.
struct PageShared {
    WrittenFiles written;
    // The folder part of workDir, opened once: no DOT file leaves it. Null
    // when it cannot be opened.
    const platform::Folder* workFolder = nullptr;
    // The output folder (an output argument that ends with a separator),
    // opened once for all the pages that go there: as it was when the run
    // began, wherever its name leads later. Null when it cannot be opened:
    // then each page looks for it by name.
    const platform::Folder* outputFolder = nullptr;
    platform::FileIdentity outputFolderIdentity;
    platform::FileIdentity templateFile;
    LinkCheck* links = nullptr;       // with checkLinks: the pages and their links
    Pictures* pictures = nullptr;     // with pictures.make
    const SourceRule* walked = nullptr;  // in a recursive run: the files the walk converts
};

// What one thread converts pages with, one page after another, so that a
// page costs no fresh memory: the translation's state, the source reader and
// the page's bytes on their way out.
struct Workspace {
    explicit Workspace(const MarkupOptions& options) : markup(options) {}
    MarkupContext markup;
    WikiInStream reader;  // a page's source, from its start to the end of its making
    std::string block;
    std::string body;  // with a table of contents: the body, made before it is written
};

struct PageContext {
    const PageOptions& options;
    PageShared& shared;
    Workspace& space;
};

}  // namespace tarvo
