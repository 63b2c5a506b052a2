// The settings of one run as the command line gives them, fixed afterwards.
#pragma once

#include <string>

#include "page/page_converter.h"

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
    unsigned jobs = 0;            // pictures made at once; 0: not given
};

// The part of the options that converting a page reads.
inline PageOptions pageOptions(const ConvertOptions& o) {
    return PageOptions{o.testMode, o.templateName, o.workDir, MarkupOptions{o.filePrefix, o.genPrefix},
                       o.checkLinks,
                       PictureOptions{o.svg, o.dotProgram, o.dotTimeout, o.jobs}};
}

}  // namespace tarvo
