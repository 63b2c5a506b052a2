#include "io/written_files.h"

namespace tarvo {

bool WrittenFiles::find(const platform::FileIdentity& id, Entry& entry) const {
    if (!id.exists) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = files_.find({id.device, id.inode});
    if (found == files_.end()) return false;
    entry = found->second;
    return true;
}

bool WrittenFiles::holds(const platform::FileIdentity& id) const {
    if (!id.exists) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.count({id.device, id.inode}) != 0;
}

void WrittenFiles::add(const platform::FileIdentity& id, Entry entry, std::uint64_t place) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The same file again: the later entry holds.
    if (id.exists) files_.insert_or_assign({id.device, id.inode}, std::move(entry));
    if (place == 0) ++unplaced_;
    else places_.insert(place);
}

// A digest that two places share only by chance: then a page is converted
// again in its turn, which costs time, never a wrong page.
std::uint64_t WrittenFiles::placeOf(const platform::FileIdentity& folder, const WString& name) {
    if (!folder.exists || name.empty() || name.back() == u'.') return 0;
    std::uint64_t digest = 0xcbf29ce484222325ull;  // FNV-1a
    const auto mix = [&digest](std::uint64_t unit) {
        digest ^= unit;
        digest *= 0x100000001b3ull;
    };
    mix(folder.device);
    mix(folder.inode);
    for (char16_t c : name) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        else if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c == u'.'))
            return 0;
        mix(c);
    }
    return digest != 0 ? digest : 1;
}

bool WrittenFiles::wrotePlace(std::uint64_t place) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return places_.count(place) != 0;
}

std::uint64_t WrittenFiles::unplacedWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unplaced_;
}

}  // namespace tarvo
