#include "cli/walked_tree.h"

#include <utility>
#include <vector>

namespace tarvo {

WalkedTree::WalkedTree(const platform::Folder& top, WString pattern) : pattern_(std::move(pattern)) {
    if (top_.open(top, WString())) topLocation_ = platform::realLocation(top_);
}

bool WalkedTree::converts(const platform::Folder& folder, const WString& name) const {
    platform::DirEntry entry;
    if (!platform::searchMatches(pattern_, name) || !platform::entryOf(folder, name, entry) || entry.hidden ||
        entry.system || entry.directory)
        return false;
    const platform::FileIdentity id = platform::identify(folder, WString());
    std::lock_guard<std::mutex> lock(mutex_);
    if (!(id == lastFolder_)) {
        lastReached_ = reaches(folder);
        lastFolder_ = id;
    }
    return lastReached_;
}

// A folder whose location the system does not tell is taken as reached: a
// file there that the walk would convert is kept.
bool WalkedTree::reaches(const platform::Folder& folder) const {
    const platform::NativePath location = platform::realLocation(folder);
    if (topLocation_.empty() || location.empty()) return true;
    std::vector<WString> names;
    if (!platform::namesBelow(topLocation_, location, names)) return false;
    // The walk enters no hidden or system folder, and none it cannot open.
    platform::Folder step;
    const platform::Folder* at = &top_;
    for (const WString& name : names) {
        platform::DirEntry entry;
        if (!platform::entryOf(*at, name, entry) || entry.hidden || entry.system || !step.open(*at, name)) return false;
        at = &step;
    }
    return true;
}

}  // namespace tarvo
