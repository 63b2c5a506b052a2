// The run's record of the files it has written, or found already holding
// what it would have written: what no later page, DOT file or picture of the
// run may replace. Safe to share between threads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tarvo {

class WrittenFiles {
public:
    struct Entry {
        bool page = false;
        WString source;       // a page: its source's path as its console line shows it
        std::string content;  // a DOT file: its text
    };
    // A file counts as written by the run while it is still the file the run
    // wrote: the same identity and, where the system tells it, the same change
    // time as when the run was done with it. A file made later in the place
    // of one the run wrote, which the system gave the same identity (a reused
    // inode), is another file.

    // A copy of the entry for the file that stored describes, or false when
    // the run has not written it.
    bool find(const platform::FileStatus& stored, Entry& entry) const;
    bool holds(const platform::FileStatus& stored) const;
    // The run has written a file of this identity, whatever it holds now.
    bool wroteIdentity(const platform::FileIdentity& id) const;
    // The run wrote (or found unchanged) the file, which lies at place (see
    // placeOf; 0 when unknown); changeTime as FileStatus has it once the run
    // was done with the file.
    void add(const platform::FileIdentity& id, std::int64_t changeTime, Entry entry, std::uint64_t place);

    // Where a file lies, as a 64-bit digest of its folder's identity and its
    // name, with the letters A-Z as a-z; 0 when the folder is not known or
    // the name holds anything but ASCII letters, digits, "-", "_" and "."
    // (not at its end): only such names are never taken by a file system for
    // another.
    static std::uint64_t placeOf(const platform::FileIdentity& folder, const WString& name);
    // The run may have written a file at place: names that differ in case,
    // and places of one digest, count as one.
    bool wrotePlace(std::uint64_t place) const;
    // How many files of unknown place the run has written so far.
    std::uint64_t unplacedWrites() const;

private:
    // Files and places are kept in flat tables (open addressing, at most half
    // full) and the pages' sources one after another in one string, not in
    // a node per file: a run of many pages asks for memory seldom, not at
    // every page (a map with a node per file costs a first build of many
    // small pages some 5 % more instructions, all of them in the allocator).
    // They are spread over kParts parts by their digest, each with its own
    // lock: pages made on several threads ask at every page, and with one
    // lock they waited for each other.
    static constexpr std::uint32_t kFree = 0xFFFFFFFF;
    struct Slot {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint32_t entry = kFree;  // in Part::entries; kFree: the slot is free
    };
    struct Stored {
        std::int64_t changeTime = 0;  // 0: not known
        bool page = false;
        std::size_t sourceAt = 0;  // in Part::sources
        std::size_t sourceLength = 0;
        std::string content;
    };
    struct Part {
        mutable std::mutex mutex;
        std::vector<Slot> files;
        std::vector<Stored> entries;
        WString sources;
        std::vector<std::uint64_t> places;  // 0: free
        std::size_t placeCount = 0;
        // The slot of the file, or the free slot where it would go.
        std::size_t slotOf(const platform::FileIdentity& id, std::uint64_t digest) const;
        const Stored* stored(const platform::FileIdentity& id, std::uint64_t digest) const;
        const Stored* stillStored(const platform::FileStatus& file, std::uint64_t digest) const;
        std::size_t placeSlot(std::uint64_t place) const;
    };
    static constexpr std::size_t kParts = 16;
    static std::uint64_t digestOf(const platform::FileIdentity& id);
    // look(part, digest) on the part that holds id, under its lock; false
    // when id is of no file.
    template <typename Look>
    bool lookUp(const platform::FileIdentity& id, Look look) const;
    Part& partOf(std::uint64_t digest) { return parts_[digest >> 60]; }
    const Part& partOf(std::uint64_t digest) const { return parts_[digest >> 60]; }

    std::array<Part, kParts> parts_;
    std::atomic<std::uint64_t> unplaced_{0};
};

}  // namespace tarvo
