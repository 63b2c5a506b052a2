#include "io/written_files.h"

#include <algorithm>

namespace tarvo {

namespace {

// Linear probing in a table whose size is a power of two and that is never
// full: the index of the slot that `holds` accepts, or of the free slot
// where such an entry would go.
template <typename Slot, typename Holds, typename IsFree>
std::size_t probe(const std::vector<Slot>& table, std::uint64_t digest, Holds holds, IsFree isFree) {
    const std::size_t mask = table.size() - 1;
    for (std::size_t i = digest & mask;; i = (i + 1) & mask) {
        if (isFree(table[i]) || holds(table[i])) return i;
    }
}

// Makes room for one more entry once the table would be more than half
// full: twice the size (at least 64 slots), every entry placed anew.
template <typename Slot, typename DigestOf, typename IsFree>
void makeRoom(std::vector<Slot>& table, std::size_t count, DigestOf digestOf, IsFree isFree) {
    if (2 * (count + 1) <= table.size()) return;
    std::vector<Slot> old(std::max<std::size_t>(64, 2 * table.size()));
    old.swap(table);
    for (const Slot& slot : old) {
        if (!isFree(slot)) table[probe(table, digestOf(slot), [](const Slot&) { return false; }, isFree)] = slot;
    }
}

}  // namespace

std::uint64_t WrittenFiles::digestOf(const platform::FileIdentity& id) {
    std::uint64_t digest = id.inode * 0x9E3779B97F4A7C15ull ^ id.device * 0xC2B2AE3D27D4EB4Full;
    return digest ^ (digest >> 29);
}

std::size_t WrittenFiles::Part::slotOf(const platform::FileIdentity& id, std::uint64_t digest) const {
    return probe(
        files, digest, [&](const Slot& slot) { return slot.device == id.device && slot.inode == id.inode; },
        [](const Slot& slot) { return slot.entry == kFree; });
}

const WrittenFiles::Stored* WrittenFiles::Part::stored(const platform::FileIdentity& id, std::uint64_t digest) const {
    if (files.empty()) return nullptr;
    const Slot& slot = files[slotOf(id, digest)];
    return slot.entry == kFree ? nullptr : &entries[slot.entry];
}

const WrittenFiles::Stored* WrittenFiles::Part::stillStored(const platform::FileStatus& file,
                                                            std::uint64_t digest) const {
    const Stored* found = stored(file.identity, digest);
    const bool same = found && (found->changeTime == 0 || file.changeTime == 0 || found->changeTime == file.changeTime);
    return same ? found : nullptr;
}

// Places are their own digests, and 0 marks a free slot.
std::size_t WrittenFiles::Part::placeSlot(std::uint64_t place) const {
    return probe(
        places, place, [place](std::uint64_t kept) { return kept == place; },
        [](std::uint64_t kept) { return kept == 0; });
}

template <typename Look>
bool WrittenFiles::lookUp(const platform::FileIdentity& id, Look look) const {
    if (!id.exists) return false;
    const std::uint64_t digest = digestOf(id);
    const Part& part = partOf(digest);
    std::lock_guard<std::mutex> lock(part.mutex);
    return look(part, digest);
}

bool WrittenFiles::find(const platform::FileStatus& file, Entry& entry) const {
    return lookUp(file.identity, [&](const Part& part, std::uint64_t digest) {
        const Stored* found = part.stillStored(file, digest);
        if (!found) return false;
        entry.page = found->page;
        entry.source.assign(part.sources, found->sourceAt, found->sourceLength);
        entry.content = found->content;
        return true;
    });
}

bool WrittenFiles::holds(const platform::FileStatus& file) const {
    return lookUp(file.identity,
                  [&](const Part& part, std::uint64_t digest) { return part.stillStored(file, digest) != nullptr; });
}

bool WrittenFiles::wroteIdentity(const platform::FileIdentity& id) const {
    return lookUp(id, [&](const Part& part, std::uint64_t digest) { return part.stored(id, digest) != nullptr; });
}

void WrittenFiles::add(const platform::FileIdentity& id, std::int64_t changeTime, Entry entry, std::uint64_t place) {
    if (id.exists) {
        const std::uint64_t digest = digestOf(id);
        Part& part = partOf(digest);
        std::lock_guard<std::mutex> lock(part.mutex);
        makeRoom(
            part.files, part.entries.size(), [](const Slot& slot) { return digestOf({slot.device, slot.inode, true}); },
            [](const Slot& slot) { return slot.entry == kFree; });
        Stored kept{changeTime, entry.page, part.sources.size(), entry.source.size(), std::move(entry.content)};
        part.sources += entry.source;
        Slot& slot = part.files[part.slotOf(id, digest)];
        if (slot.entry != kFree) {
            part.entries[slot.entry] = std::move(kept);  // the same file again: the later entry holds
        } else {
            slot = Slot{id.device, id.inode, static_cast<std::uint32_t>(part.entries.size())};
            part.entries.push_back(std::move(kept));
        }
    }
    if (place == 0) {
        ++unplaced_;
        return;
    }
    Part& part = partOf(place);
    std::lock_guard<std::mutex> lock(part.mutex);
    if (part.places.empty() || part.places[part.placeSlot(place)] != place) {
        makeRoom(
            part.places, part.placeCount, [](std::uint64_t kept) { return kept; },
            [](std::uint64_t kept) { return kept == 0; });
        part.places[part.placeSlot(place)] = place;
        ++part.placeCount;
    }
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
    const Part& part = partOf(place);
    std::lock_guard<std::mutex> lock(part.mutex);
    return !part.places.empty() && part.places[part.placeSlot(place)] == place;
}

std::uint64_t WrittenFiles::unplacedWrites() const { return unplaced_.load(); }

}  // namespace tarvo
