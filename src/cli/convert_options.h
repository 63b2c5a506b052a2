// The settings of one run as the command line gives them, fixed afterwards.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <thread>

#include "page/run.h"

namespace tarvo {

struct ConvertOptions {
    bool recursive = false;  // walk sub-directories too
    bool testMode = false;   // compare with the stored pages instead of writing them
    std::string filePrefix;  // put in front of [[file:...]] image names
    std::string genPrefix;   // put in front of diagram picture names
    WString templateName;    // empty: the built-in page frame
    WString workDir;         // put in front of DOT file names
    bool checkLinks = false; // report the pages' links that lead nowhere, after the run
    bool svg = false;             // make the diagrams' pictures with Graphviz
    WString dotProgram = u"dot";  // the Graphviz program, a path or a name on PATH
    double dotTimeout = 30;       // seconds a picture may take
    unsigned jobs = 0;            // pages and pictures made at once; 0: one per processor
    bool safe = false;            // keep no script of the pages' text
    bool html5 = false;           // HTML5 frame, page names as titles, heading ids
    bool toc = false;             // tables of contents (and heading ids)
    bool keepTree = false;        // pages in the output folder as their sources lie in the tree
};

// What the run takes of the options, with the output argument. Without
// --jobs, pages and pictures are made on as many threads as the machine has
// processors.
inline RunOptions runOptions(const ConvertOptions& o, const std::optional<WString>& output) {
    const unsigned jobs = o.jobs > 0 ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    return RunOptions{PageOptions{o.testMode, o.templateName, o.workDir,
                                  MarkupOptions{o.filePrefix, o.genPrefix, o.safe, o.html5 || o.toc, o.toc},
                                  o.checkLinks, PictureOptions{o.svg, o.dotProgram, o.dotTimeout, jobs}, o.html5,
                                  o.toc},
                      output, jobs};
}

}  // namespace tarvo
