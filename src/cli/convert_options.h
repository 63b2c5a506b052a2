// The settings of one run, read from the command line and fixed afterwards.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tarvo {

struct ConvertOptions {
    bool recursive = false;
    bool testMode = false;
    std::string filePrefix;  // put in front of [[file:...]] image names
    std::string genPrefix;   // put in front of diagram picture names
    WString templateName;    // empty: the built-in page frame
    WString workDir;         // put in front of DOT file names
};

}  // namespace tarvo
