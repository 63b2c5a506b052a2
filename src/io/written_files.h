// The run's record of the files it has written, or found already holding
// what it would have written: what no later page, DOT file or picture of the
// run may replace. Safe to share between threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/platform.h"

namespace tarvo {

class WrittenFiles {
public:
    struct Entry {
        bool page = false;
        WString source;       // a page: its source's path as its console line shows it
        std::string content;  // a DOT file: its text
    };
    // A copy of the entry for the file, or false when the run has not written it.
    bool find(const platform::FileIdentity& id, Entry& entry) const;
    bool holds(const platform::FileIdentity& id) const;
    // The run wrote (or found unchanged) the file, which lies at place (see
    // placeOf; 0 when unknown).
    void add(const platform::FileIdentity& id, Entry entry, std::uint64_t place);

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
    struct Key {
        std::uint64_t device, inode;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const { return k.inode * 0x9E3779B97F4A7C15ull ^ k.device; }
    };
    struct PlaceHash {
        std::size_t operator()(std::uint64_t place) const { return place; }  // already a digest
    };

    mutable std::mutex mutex_;
    std::unordered_map<Key, Entry, KeyHash> files_;
    std::unordered_set<std::uint64_t, PlaceHash> places_;
    std::uint64_t unplaced_ = 0;
};

}  // namespace tarvo
