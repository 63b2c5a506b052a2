#include "cli/batch_driver.h"

#include <vector>

#include "page/page_converter.h"
#include "platform/platform.h"

namespace tarvo {

namespace {

bool isDotOrDotDot(const WString& name) { return name == u"." || name == u".."; }

// ancestors: the directories on the path being walked, so that a link back
// up the tree is not entered again.
int walk(RunContext& ctx, const WString& inputPath, const std::optional<WString>& outputArg,
         std::vector<platform::FileIdentity>& ancestors) {
    const std::size_t cut = inputPath.find_last_of(platform::kDirSeparators);
    const WString dirPart = cut == WString::npos ? WString() : inputPath.substr(0, cut + 1);
    const WString pattern = cut == WString::npos ? inputPath : inputPath.substr(cut + 1);

    platform::DirSearch search;
    platform::DirEntry entry;
    if (search.findFirst(inputPath, entry)) {
        do {
            if (entry.hidden || entry.system || entry.directory) continue;
            int result = convertPage(ctx, dirPart + entry.name, outputArg);
            if (result != 0) return result;
        } while (search.findNext(entry));
        search.close();
    } else if (!ctx.options.recursive) {
        platform::writeErr("No file (or directory) <" + platform::toUtf8Bytes(inputPath) + "> \n");
        return 1;
    }
    if (!ctx.options.recursive) return 0;

    if (!search.findFirst(dirPart + u"*.*", entry)) return 0;
    do {
        if (!entry.directory || entry.hidden || entry.system || isDotOrDotDot(entry.name)) continue;
        const WString subDir = dirPart + entry.name;
        const platform::FileIdentity id = platform::identify(subDir);
        bool onPath = false;
        for (const auto& a : ancestors) onPath = onPath || a == id;
        if (onPath) continue;
        ancestors.push_back(id);
        int result = walk(ctx, subDir + platform::kPathSeparator + pattern, outputArg, ancestors);
        ancestors.pop_back();
        if (result != 0) return result;
    } while (search.findNext(entry));
    return 0;
}

}  // namespace

int convertPath(RunContext& ctx, const WString& inputPath, const std::optional<WString>& outputArg) {
    std::vector<platform::FileIdentity> ancestors;
    const std::size_t cut = inputPath.find_last_of(platform::kDirSeparators);
    ancestors.push_back(platform::identify(cut == WString::npos ? WString(u".") : inputPath.substr(0, cut + 1)));
    return walk(ctx, inputPath, outputArg, ancestors);
}

}  // namespace tarvo
