// The one way a run writes a file: pages, DOT files and pictures alike.
// Whether a name may be written is decided here once, by folder handle:
//
// - only a missing name or a regular file is replaced: never a link, a
//   folder, a device or anything else in its place;
// - never the page's source, the template, or a file the caller names as
//   kept (the other sources of the run);
// - never a file this run has already written, unless it is the same
//   diagram again (WrittenFiles).
//
// The new content is compared with the stored file as it comes; a file whose
// content did not change is left in place (a page gets a new modification
// time). A replacement goes through a temporary that is renamed into place,
// so a failure never leaves a partial file.
#pragma once

#include <cstdint>
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "io/page_output.h"
#include "platform/platform.h"

namespace tarvo {

// Why a file may not be written. The reporter turns it into text.
enum class Refusal : std::uint8_t {
    None,
    Unwritable,     // the system refuses: a missing folder, no permission
    Outside,        // the name leads out of the folder it must stay in
    Source,         // the page's own source
    Template,       // the template of the run
    OtherSource,    // another source of the run
    EarlierPage,    // the page of an earlier source of this run
    OtherDiagram,   // written by a diagram of this run with other content
    Link,
    Folder,
    NotRegular,
};

// The tree a recursive walk goes through. Every file the walk converts is a
// source of the run, whether the walk has found it already or reaches it
// later: no page may replace one.
class WalkedTree {
public:
    // top: the folder the walk starts from; pattern: the names it converts
    // in every folder.
    WalkedTree(const platform::Folder& top, WString pattern);
    // True when the walk converts name in folder: the pattern matches it, it
    // is a file the walk does not skip (hidden, system), and the folder's
    // real location is the top's or lies below it, through no folder the
    // walk skips.
    bool converts(const platform::Folder& folder, const WString& name) const;

private:
    bool reaches(const platform::Folder& folder) const;

    platform::Folder top_;
    platform::NativePath topLocation_;  // empty when the system does not say
    WString pattern_;
    // The folder asked about last and the answer: the pages of a run mostly
    // share a folder, whose location is then looked up once.
    mutable std::mutex mutex_;
    mutable platform::FileIdentity lastFolder_;
    mutable bool lastReached_ = false;
};

// Files that nothing written for the current page may replace.
struct KeptFiles {
    platform::FileIdentity source;
    platform::FileIdentity templateFile;
    // Further sources of the run (sorted); a page never replaces one.
    const std::vector<platform::FileIdentity>* otherSources = nullptr;
    // The tree of a recursive run: a page never replaces a file it converts.
    const WalkedTree* walked = nullptr;
};

// What this run has written, or found already holding what it would have
// written, by file identity. Safe to share between threads.
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
    // placeOf; empty when unknown).
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
    std::uint64_t unplacedWrites() const { return unplaced_.load(); }

private:
    // Files and places go to one of several independently locked parts by
    // their digest, so that threads writing pages seldom wait for each
    // other. Each part keeps them in flat tables (open addressing, at most
    // half full), and the pages' source paths one after another in one
    // string: a run of many pages asks for memory seldom, not for every page.
    static constexpr std::uint32_t kFree = 0xFFFFFFFF;
    struct Slot {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint32_t entry = kFree;  // in Part::entries; kFree: the slot is free
    };
    struct Stored {
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
        // The slot of the file, or the free slot where it would go (files
        // must not be empty).
        std::size_t slotOf(const platform::FileIdentity& id, std::uint64_t digest) const;
        const Stored* find(const platform::FileIdentity& id, std::uint64_t digest) const;
        void add(const platform::FileIdentity& id, std::uint64_t digest, Entry entry);
        bool hasPlace(std::uint64_t place) const;
        std::size_t placeSlot(std::uint64_t place) const;  // as slotOf (places must not be empty)
        void addPlace(std::uint64_t place);
    };
    static constexpr std::size_t kParts = 16;
    static std::uint64_t digestOf(const platform::FileIdentity& id);
    static std::size_t partOf(std::uint64_t digest) { return digest >> 60; }
    std::array<Part, kParts> parts_;
    std::atomic<std::uint64_t> unplaced_{0};
};

class OutputFile final : public ByteSink {
public:
    enum class Outcome { Written, Unchanged, CantCreate, CantWrite };

    // Says whether name (relative to at; it may hold a folder part) may be
    // written as what `mine` describes, and prepares the comparison with the
    // stored file. The folder part is opened once: the decision and the
    // writing are made relative to that handle. Nothing on disk changes
    // before finish(). `at` must stay open until then.
    // atIdentity: the identity of at, when the caller knows it.
    Refusal open(const platform::Folder& at, const WString& name, const KeptFiles& kept, WrittenFiles& written,
                 WrittenFiles::Entry mine, const platform::FileIdentity& atIdentity = {});
    // When open() refused with EarlierPage: that page's source.
    const WString& earlierSource() const { return earlier_.source; }
    // True when, since open(), this run has written the file at the name (or
    // found it holding what it would write): a page made in parallel with
    // the one before it.
    bool writtenMeanwhile() const;

    // The buffer the stored page is read into while it is compared
    // (platform::ReadFile::lendReadAhead): lent before open(), given back
    // once the page is made.
    void lendReadAhead(std::unique_ptr<char[]> buffer) { storedFile_.lendReadAhead(std::move(buffer)); }
    std::unique_ptr<char[]> returnReadAhead() { return storedFile_.returnReadAhead(); }

    // A page: takes the next bytes (with "\n" line ends), compared with the
    // stored bytes until the first difference, written from there on.
    void take(std::string_view bytes) override;
    // Puts the page in place, or leaves an unchanged page as it is with a new
    // modification time.
    Outcome finish();

    // A DOT file: its whole text, stored followed by one more line end unless
    // the stored file holds the same lines (then it is left untouched).
    Outcome store(std::string_view text);

    // A picture: its bytes exactly as given, left in place with a new
    // modification time when the stored file holds the same bytes.
    Outcome storeBytes(std::string_view bytes);

private:
    Refusal refusalOf(const KeptFiles& kept, WrittenFiles& written);
    bool create();
    bool diverge();
    Outcome recorded(Outcome outcome);

    platform::Folder ownFolder_;          // the folder part of the name, when it has one
    const platform::Folder* folder_ = nullptr;  // the folder of the file
    WString base_;                        // the file's name in it
    platform::FileStatus stored_;
    platform::ReadFile storedFile_;
    platform::ReplaceFile file_;
    WrittenFiles* written_ = nullptr;
    WrittenFiles::Entry mine_;
    WrittenFiles::Entry earlier_;
    std::uint64_t place_ = 0;             // WrittenFiles::placeOf the file
    std::uint64_t unplacedAtOpen_ = 0;    // WrittenFiles::unplacedWrites when open() began
    bool comparing_ = false;
    bool createFailed_ = false;
    bool writeFailed_ = false;
    std::uint64_t matched_ = 0;
    std::string expanded_;
};

}  // namespace tarvo
