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

#include "page/page_converter.h"
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
    RunContext& ctx;
    const std::optional<WString>& outputArg;
    WString pattern;
    WString prefix{};  // the path of the current folder as messages show it
    std::vector<Level> levels{};
    std::set<platform::FileIdentity> entered{};  // a folder reached twice is walked once

    bool recursive() const { return ctx.options.recursive; }

    // Reports a folder that cannot be read, after the pages before it; the
    // run goes on. Nonzero when one of those pages failed: the run then ends
    // there, and the folder is not heard of.
    int reportUnreadable(const WString& path) {
        if (int result = ctx.pages->settle()) return result;
        ctx.report.cantOpenFolder(path);
        ctx.state.failAtEnd = true;
        return 0;
    }

    int noMatch() {
        ctx.report.noMatch(prefix + pattern);
        return 1;
    }

    // Converts the matching files of the current folder and lists its
    // sub-folders. Nonzero when a conversion failed.
    int visit(bool top) {
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
        } else if (top && !recursive()) {
            return noMatch();
        } else if (search.failed()) {
            // The folder the walk starts from is named "." when the input
            // has no folder part.
            return reportUnreadable(prefix.empty() ? WString(u".") + platform::kPathSeparator : prefix);
        }
        std::sort(sources->begin(), sources->end());
        for (const platform::DirEntry& file : files) {
            const SourceFile source{*level.folder,  prefix + file.name, prefix.size(),
                                    file.identity, sources.get(),  level.identity};
            if (int result = ctx.pages->add(source, level.folder, sources, outputArg)) return result;
        }
        if (!recursive()) return 0;
        if (search.findFirst(*level.folder, u"*.*", entry)) {
            do {
                if (entry.directory && !entry.hidden && !entry.system && entry.name != u"." && entry.name != u"..")
                    level.subfolders.push_back(entry.name);
            } while (search.findNext(entry));
        } else if (search.failed()) {
            return reportUnreadable(prefix);
        }
        return 0;
    }

    // Opens the folders below the nearest held one again, down to the
    // current level. Nonzero when the run ended.
    int reopen() {
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
                return reportUnreadable(prefix);
            }
        }
        return 0;
    }

    // The walk lets go of the level's folder (pages under way may still
    // hold it).
    static void close(Level& level) {
        level.folder = std::make_shared<platform::Folder>();
        level.held = false;
    }

    // Enters the next sub-folder of the deepest level. Nonzero when a
    // conversion failed.
    int enterNext() {
        Level& level = levels.back();
        const WString name = level.subfolders[level.next++];
        auto child = std::make_shared<platform::Folder>();
        prefix.resize(level.prefixLength);
        if (!child->open(*level.folder, name)) return reportUnreadable(prefix + name);
        const platform::FileIdentity identity = platform::identify(*child, WString());
        if (!entered.insert(identity).second) return 0;
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

    int run(platform::Folder first) {
        levels.emplace_back();
        levels.back().prefixLength = prefix.size();
        *levels.back().folder = std::move(first);
        levels.back().held = true;
        levels.back().identity = platform::identify(*levels.back().folder, WString());
        entered.insert(levels.back().identity);
        if (int result = visit(true)) return result;
        while (!levels.empty()) {
            Level& level = levels.back();
            int result = 0;
            if (level.next == level.subfolders.size()) levels.pop_back();
            else if (!level.held) result = reopen();
            else result = enterNext();
            if (result != 0) return result;
        }
        return 0;
    }
};

bool endsWithSeparator(const WString& path) {
    return !path.empty() && WString(platform::kDirSeparators).find(path.back()) != WString::npos;
}

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

// The output folder and the work folder are made when missing, so that a
// first run into a fresh folder needs no preparation. Nothing else is ever
// created: not the folder of a page's own path, not a diagram's sub-folder.
void makeOutputFolders(const ConvertOptions& options, const std::optional<WString>& outputArg) {
    if (outputArg && !options.testMode) {
        const WString output = trimBlanks(*outputArg);
        if (endsWithSeparator(output)) platform::makeFolders(output);
    }
    if (const WString work = platform::folderPart(options.workDir); !work.empty()) platform::makeFolders(work);
}

}  // namespace

int convertPath(RunContext& ctx, const WString& inputPath, const std::optional<WString>& outputArg) {
    const WString dirPart = platform::folderPart(inputPath);
    Walk walk{ctx, outputArg, inputPath.substr(dirPart.size()), dirPart};
    platform::Folder first;
    const bool opened = dirPart.empty() || first.open(platform::currentFolder(), dirPart);
    // A recursive walk from a folder that is not there is a mistake in the
    // input, reported before anything is made.
    if (!opened && ctx.options.recursive && namesNoFolder(dirPart)) return walk.noMatch();
    // Pages are made on as many threads as --jobs asks for, else on this one.
    ctx.pages = std::make_unique<PageRun>(pageOptions(ctx.options), ctx.state, ctx.report,
                                          ctx.options.jobs > 0 ? ctx.options.jobs : 1);
    const PageOptions& options = ctx.pages->options();
    // Pictures that cannot be made are said before anything is made.
    if (startPictures(ctx.state, options, ctx.report) != 0) return 1;
    makeOutputFolders(ctx.options, outputArg);
    if (!opened && !ctx.options.recursive) return walk.noMatch();
    startRun(ctx.state, options);
    int result = 0;
    // No page of a recursive run replaces a file the walk converts.
    if (opened && ctx.options.recursive) ctx.state.walked.emplace(first, walk.pattern);
    if (opened) result = walk.run(std::move(first));
    else result = walk.reportUnreadable(dirPart);
    if (result == 0) result = ctx.pages->settle();
    finishPictures(ctx.state, ctx.report);
    // The links are checked once every page of the run is known; a run that
    // stopped early would find links to pages it never came to.
    if (result == 0 && ctx.options.checkLinks && ctx.state.links.reportBroken(ctx.report) != 0) result = 1;
    // A folder that could not be read, or a DOT file that could not be
    // written, fails the run once everything else is done.
    if (result == 0 && ctx.state.failAtEnd) return 1;
    return result;
}

int convertStream(RunContext& ctx, const WString& input) {
    makeOutputFolders(ctx.options, std::nullopt);
    ctx.pages = std::make_unique<PageRun>(pageOptions(ctx.options), ctx.state, ctx.report, 1);
    startRun(ctx.state, ctx.pages->options());
    const bool fromInput = input == u"-";
    int result = ctx.pages->toStandardOutput(fromInput ? std::nullopt : std::optional<WString>(input));
    if (result == 0 && ctx.state.failAtEnd) result = 1;
    return result;
}

}  // namespace tarvo
