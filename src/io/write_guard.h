// What a run may write over. A page or DOT file is written only where its
// name is missing or holds a regular file, never over the page's source or
// the template, and a page never over another source of its folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tarvo {

// The files of the page being made that nothing the run writes may replace.
struct KeptFiles {
    platform::FileIdentity source;
    platform::FileIdentity templateFile;
};

// Why nothing may be written at name (relative to at), as the bracket that
// follows "Can't create" in the message; nullopt when it may. otherSources,
// sorted, are further files to keep (the sources beside a page).
std::optional<std::string> refusalToWrite(const platform::Folder& at, const WString& name, const KeptFiles& kept,
                                          const std::vector<platform::FileIdentity>* otherSources = nullptr);

}  // namespace tarvo
