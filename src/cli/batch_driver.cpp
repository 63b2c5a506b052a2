// The walk over the input path: every matching file of a folder is converted
// before its sub-folders are entered, depth first. The walk goes down by
// folder handles, never by re-reading a long path, and keeps its way back on
// a stack of its own, so neither the system's path limit nor the call stack
// bounds its depth.
#include "cli/batch_driver.h"

#include <algorithm>
#include <set>
#include <vector>

#include "page/page_converter.h"
#include "platform/platform.h"

namespace tarvo {

namespace {

// Only every kHeldEvery-th folder on the way down stays open while the walk
// is below it; the others are opened again from the nearest held one.
constexpr std::size_t kHeldEvery = 64;

struct Level {
    WString name;                     // its name in the folder above; empty for the first
    platform::FileIdentity identity;  // to check that a folder opened again is the same
    std::size_t prefixLength = 0;     // the length of its path in Walk::prefix
    std::vector<WString> subfolders;  // to enter, in the order listed
    std::size_t next = 0;
    platform::Folder folder;
    bool held = false;  // folder is open
};

struct Walk {
    RunContext& ctx;
    const std::optional<WString>& outputArg;
    WString pattern;
    WString prefix{};  // the path of the current folder as messages show it
    std::vector<Level> levels{};
    std::set<platform::FileIdentity> entered{};// a folder reached twice is walked once
    bool failedLater = false;                  // a folder that could not be read

    void reportUnreadable(const WString& path) {
        platform::writeOut("Can't open " + platform::toUtf8Bytes(path) + "\n");
        failedLater = true;
    }

    // Converts the matching files of the current folder and lists its
    // sub-folders. Nonzero when a conversion failed.
    int visit(bool top) {
        Level& level = levels.back();
        prefix.resize(level.prefixLength);
        platform::DirSearch search;
        platform::DirEntry entry;
        std::vector<WString> names;
        std::vector<platform::FileIdentity> sources;
        if (search.findFirst(level.folder, pattern, entry)) {
            do {
                if (entry.hidden || entry.system || entry.directory) continue;
                names.push_back(entry.name);
                sources.push_back(entry.identity);
            } while (search.findNext(entry));
        } else if (search.failed()) {
            if (!top) reportUnreadable(prefix);
            return top && !ctx.options.recursive ? noMatch() : 0;
        } else if (top && !ctx.options.recursive) {
            return noMatch();
        }
        std::sort(sources.begin(), sources.end());
        for (const WString& name : names) {
            const SourceFile source{level.folder, prefix + name, prefix.size(), &sources};
            if (int result = convertPage(ctx.page, source, outputArg)) return result;
        }
        if (!ctx.options.recursive) return 0;
        if (search.findFirst(level.folder, u"*.*", entry)) {
            do {
                if (entry.directory && !entry.hidden && !entry.system && entry.name != u"." && entry.name != u"..")
                    level.subfolders.push_back(entry.name);
            } while (search.findNext(entry));
        } else if (search.failed()) {
            reportUnreadable(prefix);
        }
        return 0;
    }

    int noMatch() {
        platform::writeErr("No file (or directory) <" + platform::toUtf8Bytes(prefix + pattern) + "> \n");
        return 1;
    }

    // Opens the folders below the nearest held one again, down to the
    // current level, checking that each is still the folder it was.
    void reopen() {
        std::size_t held = levels.size() - 1;
        while (!levels[held].held) --held;
        for (std::size_t j = held + 1; j < levels.size(); ++j) {
            Level& level = levels[j];
            level.held = level.folder.open(levels[j - 1].folder, level.name) &&
                         platform::identify(level.folder, WString()) == level.identity;
            if (j - 1 > held && (j - 1) % kHeldEvery != 0) {
                levels[j - 1].folder.close();
                levels[j - 1].held = false;
            }
            if (!level.held) {
                prefix.resize(level.prefixLength);
                reportUnreadable(prefix);
                levels.resize(j);  // what is left below it cannot be reached
                return;
            }
        }
    }

    int run(const WString& dirPart) {
        levels.emplace_back();
        Level& first = levels.back();
        prefix = dirPart;
        first.prefixLength = prefix.size();
        first.held = dirPart.empty() || first.folder.open(platform::currentFolder(), dirPart);
        if (!first.held) {
            if (!ctx.options.recursive) return noMatch();
            if (platform::kindOf(platform::currentFolder(), dirPart) == platform::FileKind::Missing) return 0;
            reportUnreadable(dirPart);
            return 0;
        }
        entered.insert(platform::identify(first.folder, WString()));
        if (int result = visit(true)) return result;
        while (!levels.empty()) {
            Level& level = levels.back();
            if (level.next == level.subfolders.size()) {
                levels.pop_back();
                continue;
            }
            if (!level.held) {
                reopen();
                continue;
            }
            const WString name = level.subfolders[level.next++];
            platform::Folder child;
            prefix.resize(level.prefixLength);
            if (!child.open(level.folder, name)) {
                reportUnreadable(prefix + name);
                continue;
            }
            const platform::FileIdentity identity = platform::identify(child, WString());
            if (!entered.insert(identity).second) continue;
            if ((levels.size() - 1) % kHeldEvery != 0) {
                level.folder.close();
                level.held = false;
            }
            Level next;
            next.name = name;
            next.identity = identity;
            next.folder = std::move(child);
            next.held = true;
            next.prefixLength = prefix.size() + name.size() + 1;
            levels.push_back(std::move(next));
            prefix += name;
            prefix += platform::kPathSeparator;
            if (int result = visit(false)) return result;
        }
        return 0;
    }
};

bool endsWithSeparator(const WString& path) {
    return !path.empty() && WString(platform::kDirSeparators).find(path.back()) != WString::npos;
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
    makeOutputFolders(ctx.options, outputArg);
    Walk walk{ctx, outputArg, inputPath.substr(dirPart.size())};
    const int result = walk.run(dirPart);
    // A folder that could not be read, or a DOT file that could not be
    // written, fails the run once everything else is done.
    if (result == 0 && (walk.failedLater || ctx.page.markup.diagram.writeFailed)) return 1;
    return result;
}

}  // namespace tarvo
