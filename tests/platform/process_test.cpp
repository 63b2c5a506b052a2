// Running another program, and the folders a picture is made in. The golden
// cases svg-* show both through the binary; these show what they cannot see.
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/process.h"
#include "test_support.h"

namespace tarvo::test {
namespace {

using namespace platform;
using End = ProcessResult::End;

ProcessResult shell(const char16_t* script, double seconds = 20, std::size_t outLimit = 1 << 20) {
    return runProcess(findProgram(u"sh"), {u"-c", script}, seconds, outLimit);
}

// Alive: neither gone nor a zombie waiting to be reaped.
bool alive(const std::string& pid) {
    const std::string stat = readFile("/proc/" + pid + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

TEST(RunProcess, GivesBackWhatTheProgramPrintedAndHowItEnded) {
    ProcessResult r = shell(u"cat; printf out; printf 'err\\n' >&2; exit 3");
    EXPECT_EQ(r.end, End::Exited);
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "out");  // its standard input was empty
    EXPECT_EQ(r.err, "err\n");

    r = shell(u"kill -TERM $$");
    EXPECT_EQ(r.end, End::Signalled);
    EXPECT_EQ(r.code, SIGTERM);

    r = shell(u"while :; do echo 0123456789; done", 20, 1000);
    EXPECT_EQ(r.end, End::TooMuchOutput);
    EXPECT_LE(r.out.size(), 1000u);

    EXPECT_EQ(runProcess("/nonexistent/program", {}, 20, 1000).end, End::CantStart);
}

TEST(RunProcess, StopsTheProgramAndWhatItStartedAtTheTimeLimit) {
    // The grandchild holds the pipes open: only stopping the whole group ends it.
    const ProcessResult r = shell(u"sleep 60 & echo $!; wait", 0.3);
    EXPECT_EQ(r.end, End::TimedOut);
    const std::string grandchild = r.out.substr(0, r.out.find('\n'));
    ASSERT_FALSE(grandchild.empty());
    for (int i = 0; i < 500 && alive(grandchild); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(alive(grandchild));
}

TEST(FindProgram, LooksOnThePathUnlessTheNameHasAFolder) {
    TempDir tmp;
    writeFile(tmp.dir + "tool", "#!/bin/sh\n");
    ::chmod((tmp.dir + "tool").c_str(), 0755);
    writeFile(tmp.dir + "plain", "not a program\n");
    ::mkdir((tmp.dir + "folder").c_str(), 0755);
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", ("/nonexistent:" + tmp.name).c_str(), 1);
    EXPECT_EQ(findProgram(u"tool"), tmp.dir + "tool");
    EXPECT_EQ(findProgram(u"plain"), "");
    EXPECT_EQ(findProgram(u"folder"), "");
    EXPECT_EQ(findProgram(u"sh"), "");
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(findProgram(widen(tmp.dir + "tool")), tmp.dir + "tool");
    EXPECT_EQ(findProgram(widen(tmp.dir + "plain")), "");
}

TEST(MakeFoldersBeneath, MakesTheWayDownAndFollowsLinksOnlyWithin) {
    TempDir tmp;
    fs::create_directories(tmp.dir + "site/real");
    fs::create_directory(tmp.dir + "elsewhere");
    fs::create_directory_symlink("real", tmp.dir + "site/in");
    fs::create_directory_symlink("../elsewhere", tmp.dir + "site/out");
    Folder site, made;
    ASSERT_TRUE(site.open(currentFolder(), widen(tmp.dir + "site")));
    EXPECT_TRUE(makeFoldersBeneath(site, u"a/b/", made));
    EXPECT_TRUE(fs::is_directory(tmp.dir + "site/a/b"));
    EXPECT_TRUE(makeFoldersBeneath(site, u"in/c/", made));
    EXPECT_TRUE(fs::is_directory(tmp.dir + "site/real/c"));
    EXPECT_FALSE(makeFoldersBeneath(site, u"out/d/", made));
    EXPECT_FALSE(makeFoldersBeneath(site, u"../e/", made));
    EXPECT_FALSE(fs::exists(tmp.dir + "elsewhere/d"));
    EXPECT_FALSE(fs::exists(tmp.dir + "e"));
}

}  // namespace
}  // namespace tarvo::test
#endif
