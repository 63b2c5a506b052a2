// The Windows side of the operating-system layer, run under Wine by the
// Windows build (an empty file elsewhere).
#ifdef _WIN32

#include <windows.h>
#undef ReplaceFile

#include <vector>

#include "platform/process.h"
#include "test_support.h"

namespace tarvo::test {
namespace {

using namespace platform;
using Names = std::vector<std::string>;

std::wstring w(const WString& s) { return std::wstring(s.begin(), s.end()); }

class WindowsPlatform : public ::testing::Test {
protected:
    WString at(const WString& name) const { return dir + u"\\" + name; }
    DWORD attributesOf(const WString& name) { return ::GetFileAttributesW(w(at(name)).c_str()); }
    // The names in the folder, in the system's order.
    Names names() {
        Names out;
        DirSearch s;
        DirEntry e;
        for (bool more = s.findFirst(at(u"*"), e); more; more = s.findNext(e)) out.push_back(toUtf8Bytes(e.name));
        return out;
    }

    TempDir tmp;
    const WString dir = widen(tmp.name);
};

// Wide text becomes UTF-8 as text/utf.h does it (tests/text/utf_test.cpp).

TEST(WindowsText, NamesThatLeaveTheDirectory) {
    for (const char16_t* inside : {u"g", u"net/x", u"a\\b", u"a..b", u".x", u"x.", u". /y", u"\U0001F600"})
        EXPECT_FALSE(escapesDirectory(inside)) << toUtf8Bytes(inside);
    for (const char16_t* outside : {u"/x", u"\\x", u"C:x", u"a:b", u"C:\\w", u"a/../../x", u"a\\..", u"...\\x",
                                    u".. /x", u"x/. ./y"})
        EXPECT_TRUE(escapesDirectory(outside)) << toUtf8Bytes(outside);
}

// A program's output piped back, its exit status, and a stop at the time
// limit (the POSIX side: tests/platform/process_test.cpp).
TEST(WindowsProcess, RunsAProgramWithItsOutputAndATimeLimit) {
    const NativePath cmd = findProgram(u"cmd");
    ASSERT_FALSE(cmd.empty());
    ProcessResult r = runProcess(cmd, {u"/c", u"echo out& echo err 1>&2& exit 3"}, 20, 1 << 20);
    EXPECT_EQ(r.end, ProcessResult::End::Exited);
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "out\r\n");
    EXPECT_EQ(r.err, "err \r\n");  // cmd keeps the blank before the redirection
    r = runProcess(cmd, {u"/c", u"for /l %i in (0,0,1) do @rem"}, 0.5, 1 << 20);
    EXPECT_EQ(r.end, ProcessResult::End::TimedOut);
    EXPECT_TRUE(findProgram(u"no-such-program").empty());
}

// The page written through a hidden temporary, with CR LF line ends; a
// missing folder refused. A hidden page that stays hidden and a
// read-only one that is refused: tests/windows/cases.
TEST_F(WindowsPlatform, ReplaceFileWritesTextThroughAHiddenTemporary) {
    Folder folder;
    ReplaceFile out;
    ASSERT_TRUE(folder.open(currentFolder(), dir) && out.create(folder, u"page.html"));
    EXPECT_TRUE(out.write("a\nb\n"));
    EXPECT_TRUE(out.write("c"));
    const Names during = names();
    ASSERT_EQ(during.size(), 3u);
    EXPECT_NE(attributesOf(widen(during[2])) & FILE_ATTRIBUTE_HIDDEN, 0u) << during[2];
    EXPECT_TRUE(out.commit());
    EXPECT_EQ(readFile(tmp.dir + "page.html"), "a\r\nb\r\nc");
    EXPECT_EQ(attributesOf(u"page.html") & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
    Folder missing;
    EXPECT_FALSE(missing.open(currentFolder(), at(u"missing")) && out.create(missing, u"page.html"));
    EXPECT_EQ(names(), (Names{".", "..", "page.html"}));
}

// Reading at any offset: tests/platform/platform_test.cpp.
TEST_F(WindowsPlatform, ReadFileSharesTheFileAndRefusesWhatIsNoDiskFile) {
    writeFile(tmp.dir + "f", "text");
    // Another writer holds the file open; we may still read it.
    HANDLE writer = ::CreateFileW(w(at(u"f")).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ReadFile file;
    ASSERT_TRUE(file.open(dir + u"/f"));
    ::CloseHandle(writer);
    char got[8];
    EXPECT_EQ(file.readAt(0, got, sizeof got), 4);
    // Nor does the open file keep others from deleting it.
    EXPECT_TRUE(::DeleteFileW(w(at(u"f")).c_str()));
    file.close();

    EXPECT_FALSE(file.open(dir));
    EXPECT_FALSE(file.open(at(u"missing")));
    // Devices and pipes are refused at once instead of being waited on.
    HANDLE pipe = ::CreateNamedPipeW(L"\\\\.\\pipe\\tarvo-test", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    for (const char16_t* device : {u"NUL", u"CON", u"CONIN$", u"\\\\.\\pipe\\tarvo-test"}) {
        EXPECT_FALSE(file.open(device)) << toUtf8Bytes(device);
        WikiInStream in;
        in.open(device);
        std::string line;
        EXPECT_FALSE(in.readLine(line));
    }
    ::CloseHandle(pipe);
}

TEST_F(WindowsPlatform, IdentityFollowsTheFileNotTheName) {
    writeFile(tmp.dir + "a.txt", "x");
    writeFile(tmp.dir + "b.txt", "x");
    ASSERT_TRUE(::CreateDirectoryW(w(at(u"sub")).c_str(), nullptr));
    ASSERT_TRUE(::CreateHardLinkW(w(at(u"sub\\hard.txt")).c_str(), w(at(u"a.txt")).c_str(), nullptr));
    const FileIdentity a = identify(at(u"a.txt"));
    EXPECT_TRUE(a.exists);
    EXPECT_EQ(a, identify(dir + u"/sub/../A.TXT"));
    EXPECT_EQ(a, identify(at(u"sub\\hard.txt")));
    EXPECT_FALSE(a == identify(at(u"b.txt")));
    EXPECT_EQ(identify(at(u"sub")), identify(dir + u"/sub/"));
    EXPECT_FALSE(identify(at(u"sub")) == identify(dir));
    EXPECT_FALSE(identify(at(u"none")).exists);
    EXPECT_FALSE(identify(at(u"none")) == identify(at(u"none")));
}

}  // namespace
}  // namespace tarvo::test

#endif
