#include "io/write_guard.h"

#include <algorithm>

namespace tarvo {

std::optional<std::string> refusalToWrite(const platform::Folder& at, const WString& name, const KeptFiles& kept,
                                          const std::vector<platform::FileIdentity>* otherSources) {
    const platform::FileIdentity id = platform::identify(at, name);
    if (id == kept.source) return " (it is the source file)";
    if (id == kept.templateFile) return " (it is the template file)";
    if (id.exists && otherSources && std::binary_search(otherSources->begin(), otherSources->end(), id))
        return " (it is a source file)";
    switch (platform::kindOf(at, name)) {
        case platform::FileKind::Missing:
        case platform::FileKind::Regular: return std::nullopt;
        case platform::FileKind::Link: return " (it is a symbolic link)";
        case platform::FileKind::Directory: return " (it is a folder)";
        case platform::FileKind::Other: return " (it is not a regular file)";
    }
    return std::nullopt;
}

}  // namespace tarvo
