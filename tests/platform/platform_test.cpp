// The operating-system layer: what both sides share, then the POSIX side.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <vector>

#include "test_support.h"

namespace tarvo::test {
namespace {

using namespace platform;
using Names = std::vector<std::string>;

// The names in the directory, in byte order.
Names listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return Names(names.begin(), names.end());
}

// What is no regular file is refused: the golden cases walk-fifo-named-*,
// page-refuses-* and diagram-refuses-* show it.
TEST(ReadFile, ReadsAnywhere) {
    TempDir tmp;
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 251));
    writeFile(tmp.dir + "big", bytes);
    ReadFile file;
    ASSERT_TRUE(file.open(widen(tmp.name + "\\big")));
    // Backwards, forwards, across the read-ahead, and at and past the end.
    for (std::uint64_t at : {150000u, 0u, 65530u, 131070u, 1000u, 199990u, 200000u, 250000u}) {
        std::string got(1024, '\0');
        const std::size_t want = at < bytes.size() ? std::min<std::size_t>(1024, bytes.size() - at) : 0;
        ASSERT_EQ(file.readAt(at, got.data(), got.size()), static_cast<long>(want)) << at;
        EXPECT_EQ(got.substr(0, want), bytes.substr(std::min<std::size_t>(at, bytes.size()), want)) << at;
    }
    file.close();
    EXPECT_EQ(file.readAt(0, nullptr, 0), -1);
}

TEST(ReplaceFile, WritesThroughATemporaryWithoutAName) {
    TempDir tmp;
    const std::string target = tmp.dir + "page.html";
    {
        Folder folder;
        ReplaceFile out;
        ASSERT_TRUE(folder.open(currentFolder(), widen(tmp.name)) && out.create(folder, u"page.html"));
        EXPECT_TRUE(out.write("new "));
        EXPECT_TRUE(out.write("text"));
        // The temporary has no name, or a short hidden one.
        const Names during = listing(tmp.dir);
        ASSERT_LE(during.size(), 1u);
        if (!during.empty()) {
            EXPECT_TRUE(during[0].starts_with(".tarvo-")) << during[0];
        }
        EXPECT_TRUE(out.commit());
        EXPECT_FALSE(out.write("late"));
    }
    EXPECT_EQ(readFile(target), "new text");
    EXPECT_EQ(listing(tmp.dir), Names{"page.html"});
    // Kept modes, and the old file kept on failure: the golden page cases.
}

#ifndef _WIN32
TEST(Wildcards, MatchCaseSensitivelyWithLiteralStarsAndQuestionMarksInNames) {
    struct Case { const char16_t* pattern; const char16_t* name; bool match; };
    for (const Case& c : std::initializer_list<Case>{
             {u"*.*", u".x", true}, {u"a*b*c", u"aXbYbZc", true}, {u"a*b*c", u"aXbYc.d", false}, {u"**a", u"bba", true},
             {u"*b", u"*ab", true}, {u"*?", u"?x", true}, {u"", u"x", false}, {u"A*", u"abc", false}})
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.match) << toUtf8Bytes(c.pattern) << " vs " << toUtf8Bytes(c.name);
}

// A folder lies below another only at a separator: /a/bc is not below /a/b.
TEST(RealLocations, AFolderIsBelowAnotherOnlyAtASeparator) {
    struct Case { const char* outer; const char* inner; bool below; Names names; };
    for (const Case& c : std::initializer_list<Case>{{"/a/b", "/a/b", true, {}}, {"/a/b", "/a/b/c/d", true, {"c", "d"}},
                                                     {"/a/b", "/a/bc", false, {}}, {"/a/b", "/a", false, {}},
                                                     {"/", "/x/.y", true, {"x", ".y"}}, {"", "/a", false, {}}}) {
        std::vector<WString> names;
        EXPECT_EQ(namesBelow(c.outer, c.inner, names), c.below) << c.outer << " " << c.inner;
        Names got;
        for (const WString& n : names) got.push_back(toUtf8Bytes(n));
        EXPECT_EQ(got, c.names) << c.outer << " " << c.inner;
    }
}

// A folder reached through a link, and a mount point on the way up (/proc
// lies on a file system of its own), is where the system has it.
TEST(RealLocations, OfAFolderThroughLinks) {
    TempDir tmp;
    fs::create_directories(tmp.dir + "a/b");
    fs::create_directory_symlink(tmp.dir + "a/b", tmp.dir + "link");
    for (const std::string& path : {tmp.dir + "link", std::string("/proc/self"), std::string("/")}) {
        Folder folder;
        ASSERT_TRUE(folder.open(currentFolder(), widen(path))) << path;
        EXPECT_EQ(realLocation(folder), fs::canonical(path).string()) << path;
    }
}

// A run that dies while a temporary is open leaves nothing behind and ends
// by the signal that stopped it (with Linux even SIGKILL, where the
// temporary has no name).
TEST(ReplaceFile, ASignalLeavesNoTemporary) {
#if defined(__linux__) && !defined(TARVO_PORTABLE)
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGKILL};
#else
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
#endif
    for (int sig : signals) {
        TempDir tmp;
        const pid_t child = ::fork();
        if (child == 0) {
            prepareProcess();
            Folder folder;
            ReplaceFile out;
            if (folder.open(currentFolder(), widen(tmp.dir)) && out.create(folder, u"page.html") &&
                out.write("half a page"))
                ::raise(sig);
            ::_exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
        EXPECT_EQ(listing(tmp.dir), Names{}) << sig;
    }
}
#endif

}  // namespace
}  // namespace tarvo::test
