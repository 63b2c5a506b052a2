// The walk over the input path: every matching file of a folder is converted
// before its sub-folders are entered, depth first. The walk goes down by
// folder handles, never by re-reading a long path, and keeps its way back on
// a stack of its own, so neither the system's path limit nor the call stack
// bounds its depth.
#include "cli/batch_driver.h"

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "cli/walked_tree.h"
#include "page/run.h"
#include "platform/platform.h"

namespace tarvo {

namespace {

// A walk cannot keep every folder on its way down open: a deep tree would run
// out of descriptors. Only every kHeldEvery-th level stays open while the
// walk is below it; to go on with a closed level's next sub-folder, the
// levels from the nearest held one down are opened again by name, each
// checked to be still the folder it was.
constexpr std::size_t kHeldEvery = 64;

bool staysOpen(std::size_t depth) { return depth % kHeldEvery == 0; }

struct Level {
    WString name;                     // its name in the folder above; empty for the first
    platform::FileIdentity identity;  // to check that a folder opened again is the same
    std::size_t prefixLength = 0;     // the length of its path in Walk::prefix
    std::vector<WString> subfolders;  // to enter, in the order listed
    std::size_t next = 0;
    // Shared with the pages under way, which keep it open until they are
    // done when the walk has moved on.
    std::shared_ptr<platform::Folder> folder = std::make_shared<platform::Folder>();
    bool held = false;  // folder is open
};

struct Walk {
    Run& run;
    bool recursive;
    bool keepTree;  // each page keeps its source's folder below the first one
    WString pattern;
    WString prefix{};  // the path of the current folder as messages show it
    std::vector<Level> levels{};
    std::set<platform::FileIdentity> entered{};  // a folder reached twice is walked once
    std::size_t matched = 0;     // the files the walk found
    bool saidNoMatch = false;    // the input was said to match nothing
    bool saidUnreadable = false; // a folder of the walk could not be read

    // A folder that cannot be read is said after the pages before it; the
    // walk goes on. False when one of those pages stopped the run.
    bool unreadable(const WString& path) {
        saidUnreadable = true;
        return run.folderUnreadable(path);
    }

    bool noMatch() {
        run.nothingMatches(prefix + pattern);
        saidNoMatch = true;
        return false;
    }

    // Converts the matching files of the current folder and lists its
    // sub-folders. False when the run stopped.
    bool visit(bool top) {
        Level& level = levels.back();
        prefix.resize(level.prefixLength);
        platform::DirSearch search;
        platform::DirEntry entry;
        std::vector<platform::DirEntry> files;
        auto sources = std::make_shared<std::vector<platform::FileIdentity>>();
        if (search.findFirst(*level.folder, pattern, entry)) {
            do {
                if (entry.hidden || entry.system || entry.directory) continue;
                sources->push_back(entry.identity);
                files.push_back(std::move(entry));
            } while (search.findNext(entry));
        } else if (top && !recursive) {
            return noMatch();
        } else if (search.failed()) {
            // The folder the walk starts from is named "." when the input
            // has no folder part.
            return unreadable(prefix.empty() ? WString(u".") + platform::kPathSeparator : prefix);
        }
        std::sort(sources->begin(), sources->end());
        matched += files.size();
        for (const platform::DirEntry& file : files) {
            const SourceFile source{*level.folder, prefix + file.name, prefix.size(),
                                    file.identity, sources.get(),      level.identity,
                                    keepTree ? levels.front().prefixLength : WString::npos};
            if (!run.add(source, level.folder, sources)) return false;
        }
        if (!recursive) return true;
        if (search.findFirst(*level.folder, u"*.*", entry)) {
            do {
                if (entry.directory && !entry.hidden && !entry.system && entry.name != u"." && entry.name != u"..")
                    level.subfolders.push_back(entry.name);
            } while (search.findNext(entry));
        } else if (search.failed()) {
            return unreadable(prefix);
        }
        return true;
    }

    // Opens the folders below the nearest held one again, down to the
    // current level. False when the run stopped.
    bool reopen() {
        std::size_t held = levels.size() - 1;
        while (!levels[held].held) --held;
        for (std::size_t j = held + 1; j < levels.size(); ++j) {
            Level& level = levels[j];
            level.folder = std::make_shared<platform::Folder>();
            level.held = level.folder->open(*levels[j - 1].folder, level.name) &&
                         platform::identify(*level.folder, WString()) == level.identity;
            if (j - 1 > held && !staysOpen(j - 1)) close(levels[j - 1]);
            if (!level.held) {
                prefix.resize(level.prefixLength);
                levels.resize(j);  // what is left below it cannot be reached
                return unreadable(prefix);
            }
        }
        return true;
    }

    // The walk lets go of the level's folder (pages under way may still
    // hold it).
    static void close(Level& level) {
        level.folder = std::make_shared<platform::Folder>();
        level.held = false;
    }

    // Enters the next sub-folder of the deepest level. False when the run
    // stopped.
    bool enterNext() {
        Level& level = levels.back();
        const WString name = level.subfolders[level.next++];
        auto child = std::make_shared<platform::Folder>();
        prefix.resize(level.prefixLength);
        if (!child->open(*level.folder, name)) return unreadable(prefix + name);
        const platform::FileIdentity identity = platform::identify(*child, WString());
        if (!entered.insert(identity).second) return true;
        if (!staysOpen(levels.size() - 1)) close(level);
        Level next;
        next.name = name;
        next.identity = identity;
        next.folder = std::move(child);
        next.held = true;
        next.prefixLength = prefix.size() + name.size() + 1;
        levels.push_back(std::move(next));
        prefix += name;
        prefix += platform::kPathSeparator;
        return visit(false);
    }

    // Walks the tree from the folder first. False when the run stopped.
    bool walk(platform::Folder first) {
        levels.emplace_back();
        levels.back().prefixLength = prefix.size();
        *levels.back().folder = std::move(first);
        levels.back().held = true;
        levels.back().identity = platform::identify(*levels.back().folder, WString());
        entered.insert(levels.back().identity);
        if (!visit(true)) return false;
        while (!levels.empty()) {
            Level& level = levels.back();
            bool goOn = true;
            if (level.next == level.subfolders.size()) levels.pop_back();
            else if (!level.held) goOn = reopen();
            else goOn = enterNext();
            if (!goOn) return false;
        }
        return true;
    }
};

// True when the folder part of the input names nothing that could be a folder
// at all: nothing, a file, or a link that leads nowhere. (A folder that exists
// but cannot be opened is not such a name.)
bool namesNoFolder(const WString& dirPart) {
    WString name = dirPart;
    while (name.size() > 1 && (name.back() == u'/' || name.back() == u'\\') && name[name.size() - 2] != u':')
        name.pop_back();
    const platform::FileStatus status = platform::statusOf(platform::currentFolder(), name);
    switch (status.kind) {
        case platform::FileKind::Missing:
        case platform::FileKind::Regular: return true;
        case platform::FileKind::Link: return !status.identity.exists;
        case platform::FileKind::Other: return status.identity.exists;
        case platform::FileKind::Directory: return false;
    }
    return false;
}

// The input without the separators at its end, when it names a folder
// (links followed); else empty.
WString folderNamed(const WString& inputPath) {
    WString name = inputPath;
    while (name.size() > 1 && (name.back() == u'/' || name.back() == u'\\')) name.pop_back();
    platform::Folder folder;
    return !name.empty() && folder.open(platform::currentFolder(), name) ? name : WString();
}

}  // namespace

int convertPath(const ConvertOptions& options, Report& report, const WString& inputPath,
                const std::optional<WString>& outputArg) {
    Run run(runOptions(options, outputArg), report);
    const WString dirPart = platform::folderPart(inputPath);
    Walk walk{run, options.recursive, options.keepTree, inputPath.substr(dirPart.size()), dirPart};
    platform::Folder first;
    const bool opened = dirPart.empty() || first.open(platform::currentFolder(), dirPart);
    // A recursive walk from a folder that is not there is a mistake in the
    // input, said before anything is made.
    if (!opened && options.recursive && namesNoFolder(dirPart)) {
        walk.noMatch();
    } else if (run.start()) {
        if (opened) {
            // No page of a recursive run replaces a file the walk converts.
            if (options.recursive) run.protectWalkedFiles(std::make_unique<WalkedTree>(first, walk.pattern));
            walk.walk(std::move(first));
        } else if (options.recursive) {
            walk.unreadable(dirPart);
        } else {
            walk.noMatch();
        }
    }
    const int status = run.finish();
    // The usual mistakes: a folder as the source, a pattern that matches
    // nothing anywhere.
    if (const WString folder = folderNamed(inputPath); !folder.empty())
        report.sourceIsAFolder(folder);
    else if (options.recursive && walk.matched == 0 && !walk.saidNoMatch && !walk.saidUnreadable)
        report.nothingMatchesBelow(inputPath, dirPart);
    return status;
}

int convertStream(const ConvertOptions& options, Report& report, const WString& input) {
    Run run(runOptions(options, std::nullopt), report);
    if (run.start()) run.addToStandardOutput(input == u"-" ? std::nullopt : std::optional<WString>(input));
    return run.finish();
}

}  // namespace tarvo
