#include "io/output_file.h"

#include <algorithm>

#include "io/wiki_in_stream.h"

namespace tarvo {

// ---- WrittenFiles ----

std::uint64_t WrittenFiles::digestOf(const platform::FileIdentity& id) {
    std::uint64_t digest = id.inode * 0x9E3779B97F4A7C15ull ^ id.device * 0xC2B2AE3D27D4EB4Full;
    return digest ^ (digest >> 29);
}

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

std::size_t WrittenFiles::Part::slotOf(const platform::FileIdentity& id, std::uint64_t digest) const {
    return probe(
        files, digest, [&](const Slot& slot) { return slot.device == id.device && slot.inode == id.inode; },
        [](const Slot& slot) { return slot.entry == kFree; });
}

const WrittenFiles::Stored* WrittenFiles::Part::find(const platform::FileIdentity& id, std::uint64_t digest) const {
    if (files.empty()) return nullptr;
    const Slot& slot = files[slotOf(id, digest)];
    return slot.entry == kFree ? nullptr : &entries[slot.entry];
}

void WrittenFiles::Part::add(const platform::FileIdentity& id, std::uint64_t digest, Entry entry) {
    makeRoom(
        files, entries.size(), [](const Slot& slot) { return digestOf({slot.device, slot.inode, true}); },
        [](const Slot& slot) { return slot.entry == kFree; });
    Stored stored{entry.page, sources.size(), entry.source.size(), std::move(entry.content)};
    sources += entry.source;
    Slot& slot = files[slotOf(id, digest)];
    if (slot.entry != kFree) {
        entries[slot.entry] = std::move(stored);  // the same file again: the later entry holds
        return;
    }
    slot = Slot{id.device, id.inode, static_cast<std::uint32_t>(entries.size())};
    entries.push_back(std::move(stored));
}

// Places are their own digests, and 0 marks a free slot.
bool WrittenFiles::Part::hasPlace(std::uint64_t place) const {
    return !places.empty() && places[placeSlot(place)] == place;
}

std::size_t WrittenFiles::Part::placeSlot(std::uint64_t place) const {
    return probe(
        places, place, [place](std::uint64_t kept) { return kept == place; },
        [](std::uint64_t kept) { return kept == 0; });
}

void WrittenFiles::Part::addPlace(std::uint64_t place) {
    if (hasPlace(place)) return;
    makeRoom(
        places, placeCount, [](std::uint64_t kept) { return kept; }, [](std::uint64_t kept) { return kept == 0; });
    places[placeSlot(place)] = place;
    ++placeCount;
}

bool WrittenFiles::find(const platform::FileIdentity& id, Entry& entry) const {
    if (!id.exists) return false;
    const std::uint64_t digest = digestOf(id);
    const Part& part = parts_[partOf(digest)];
    std::lock_guard<std::mutex> lock(part.mutex);
    const Stored* stored = part.find(id, digest);
    if (!stored) return false;
    entry.page = stored->page;
    entry.source.assign(part.sources, stored->sourceAt, stored->sourceLength);
    entry.content = stored->content;
    return true;
}

bool WrittenFiles::holds(const platform::FileIdentity& id) const {
    if (!id.exists) return false;
    const std::uint64_t digest = digestOf(id);
    const Part& part = parts_[partOf(digest)];
    std::lock_guard<std::mutex> lock(part.mutex);
    return part.find(id, digest) != nullptr;
}

void WrittenFiles::add(const platform::FileIdentity& id, Entry entry, std::uint64_t place) {
    if (id.exists) {
        const std::uint64_t digest = digestOf(id);
        Part& part = parts_[partOf(digest)];
        std::lock_guard<std::mutex> lock(part.mutex);
        part.add(id, digest, std::move(entry));
    }
    if (place == 0) {
        ++unplaced_;
        return;
    }
    Part& part = parts_[partOf(place)];
    std::lock_guard<std::mutex> lock(part.mutex);
    part.addPlace(place);
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
    const Part& part = parts_[partOf(place)];
    std::lock_guard<std::mutex> lock(part.mutex);
    return part.hasPlace(place);
}

namespace {

Refusal refusalOfKind(platform::FileKind kind) {
    switch (kind) {
        case platform::FileKind::Missing:
        case platform::FileKind::Regular: return Refusal::None;
        case platform::FileKind::Link: return Refusal::Link;
        case platform::FileKind::Directory: return Refusal::Folder;
        case platform::FileKind::Other: return Refusal::NotRegular;
    }
    return Refusal::NotRegular;
}

// The stored DOT file holds exactly the lines of the text followed by one
// empty line (line ends of any kind): each piece of the text up to a "\n",
// and the piece after the last one, is a stored line, and nothing follows.
bool sameLines(const platform::Folder& folder, const WString& name, std::string_view text) {
    WikiInStream stored;
    stored.open(folder, name);
    if (!stored.good()) return false;
    std::string_view storedLine;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find('\n', at);
        if (!stored.readLine(storedLine) || storedLine != text.substr(at, end - at)) return false;
        if (end == std::string_view::npos) return !stored.readLine(storedLine);
        at = end + 1;
    }
}

}  // namespace

// ---- WalkedTree ----

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

// ---- OutputFile ----

Refusal OutputFile::open(const platform::Folder& at, const WString& name, const KeptFiles& kept,
                         WrittenFiles& written, WrittenFiles::Entry mine, const platform::FileIdentity& atIdentity) {
    written_ = &written;
    mine_ = std::move(mine);
    const WString folderPath = platform::folderPart(name);
    base_ = name.substr(folderPath.size());
    folder_ = &at;
    // Counted before the file is looked at: a write of unknown place that
    // the look may have missed is one writtenMeanwhile() hears of.
    unplacedAtOpen_ = written.unplacedWrites();
    place_ = folderPath.empty() ? WrittenFiles::placeOf(atIdentity, base_) : 0;
    if (!folderPath.empty()) {
        if (!ownFolder_.open(at, folderPath)) {
            // Reported as what the whole name holds (a file in the place of
            // a folder is no regular file), else as a folder we cannot write.
            stored_ = platform::statusOf(at, name);
            const Refusal why = refusalOf(kept, written);
            return why != Refusal::None ? why : Refusal::Unwritable;
        }
        folder_ = &ownFolder_;
    }
    stored_ = platform::statusOf(*folder_, base_);
    if (const Refusal why = refusalOf(kept, written); why != Refusal::None) return why;
    const bool exists = stored_.kind == platform::FileKind::Regular;
    if (exists && kept.walked && kept.walked->converts(*folder_, base_)) return Refusal::OtherSource;
    // A page is compared as it comes, a DOT file once it is whole.
    if (exists && (!mine_.page || storedFile_.open(*folder_, base_, stored_.identity))) {
        comparing_ = true;
        return Refusal::None;
    }
    return create() ? Refusal::None : Refusal::Unwritable;
}

// Why the file that stored_ describes may not be replaced: a kept file, one
// this run wrote, or anything but a regular file.
Refusal OutputFile::refusalOf(const KeptFiles& kept, WrittenFiles& written) {
    const platform::FileIdentity& id = stored_.identity;
    if (id == kept.source) return Refusal::Source;
    if (id == kept.templateFile) return Refusal::Template;
    if (id.exists && kept.otherSources && std::binary_search(kept.otherSources->begin(), kept.otherSources->end(), id))
        return Refusal::OtherSource;
    // What this run wrote stays, unless the same diagram comes again.
    if (written.find(id, earlier_) && (earlier_.page || mine_.page || earlier_.content != mine_.content))
        return earlier_.page ? Refusal::EarlierPage : Refusal::OtherDiagram;
    return refusalOfKind(stored_.kind);
}

// A replacement is made only where the system lets us write: an existing
// file that we may not write is left alone.
bool OutputFile::create() {
    if (stored_.kind == platform::FileKind::Regular && !platform::mayWrite(*folder_, base_)) return false;
    return file_.create(*folder_, base_);
}

// From the first difference on the page is written anew: the replacement
// starts with the stored bytes that matched.
bool OutputFile::diverge() {
    comparing_ = false;
    if (!create()) {
        createFailed_ = true;
        return false;
    }
    std::string block(64 * 1024, '\0');
    for (std::uint64_t at = 0; at < matched_;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), matched_ - at));
        const long got = storedFile_.readAt(at, block.data(), want);
        if (got != static_cast<long>(want) || !file_.writeRaw(std::string_view(block.data(), want))) {
            writeFailed_ = true;
            return false;
        }
        at += want;
    }
    storedFile_.close();
    return true;
}

void OutputFile::take(std::string_view text) {
    if (createFailed_ || writeFailed_) return;
    if (comparing_) {
        std::string_view bytes = text;
        if (platform::kTextLineEnd != "\n") {
            expanded_.clear();
            for (char c : text) {
                if (c == '\n') expanded_.append(platform::kTextLineEnd);
                else expanded_.push_back(c);
            }
            bytes = expanded_;
        }
        if (storedFile_.equalAt(matched_, bytes)) {
            matched_ += bytes.size();
            return;
        }
        if (!diverge()) return;
    }
    if (!file_.write(text)) writeFailed_ = true;
}

bool OutputFile::writtenMeanwhile() const {
    if (!folder_) return false;
    // The file seen then (which the run had not written, or open() would
    // have refused it) has been put in place or found unchanged since.
    if (written_->holds(stored_.identity)) return true;
    // Otherwise only a file written at this place can be the one there now,
    // unless files of unknown place were written meanwhile: then the file
    // there is asked.
    if (place_ != 0 && written_->unplacedWrites() == unplacedAtOpen_) return written_->wrotePlace(place_);
    return written_->holds(platform::statusOf(*folder_, base_).identity);
}

// The run's record learns of the file: the stored one left in place, or the
// one just put there.
OutputFile::Outcome OutputFile::recorded(Outcome outcome) {
    written_->add(outcome == Outcome::Unchanged ? stored_.identity : file_.identity(), std::move(mine_), place_);
    return outcome;
}

OutputFile::Outcome OutputFile::finish() {
    if (comparing_) {
        if (matched_ == stored_.size && platform::touch(*folder_, base_, storedFile_)) {
            storedFile_.close();
            return recorded(Outcome::Unchanged);
        }
        diverge();
    }
    if (createFailed_) return Outcome::CantCreate;
    if (writeFailed_ || !file_.commit()) return Outcome::CantWrite;
    return recorded(Outcome::Written);
}

OutputFile::Outcome OutputFile::store(std::string_view text) {
    if (comparing_) {
        comparing_ = false;
        if (sameLines(*folder_, base_, text)) {
            return recorded(Outcome::Unchanged);
        }
        if (!create()) return Outcome::CantCreate;
    }
    if (!(file_.write(text) && file_.write("\n") && file_.commit())) return Outcome::CantWrite;
    return recorded(Outcome::Written);
}

OutputFile::Outcome OutputFile::storeBytes(std::string_view bytes) {
    if (comparing_) {
        if (bytes.size() == stored_.size && storedFile_.open(*folder_, base_, stored_.identity) &&
            storedFile_.equalAt(0, bytes) && platform::touch(*folder_, base_, storedFile_)) {
            storedFile_.close();
            return recorded(Outcome::Unchanged);
        }
        storedFile_.close();
        comparing_ = false;
        if (!create()) return Outcome::CantCreate;
    }
    if (!(file_.writeRaw(bytes) && file_.commit())) return Outcome::CantWrite;
    return recorded(Outcome::Written);
}

}  // namespace tarvo
