// The Windows side of the operating-system layer, run under Wine by the
// Windows build (an empty file elsewhere).
#ifdef _WIN32

#include <windows.h>
#undef ReplaceFile

#include <algorithm>
#include <vector>

#include "test_support.h"

namespace tarvo::test {
namespace {

using namespace platform;
using Names = std::vector<std::string>;

std::wstring w(const WString& s) { return std::wstring(s.begin(), s.end()); }

class WindowsPlatform : public ::testing::Test {
protected:
    ~WindowsPlatform() override {
        std::error_code ec;
        for (auto& e : fs::recursive_directory_iterator(tmp.name, ec))
            ::SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    WString at(const WString& name) const { return dir + u"\\" + name; }
    bool setAttributes(const WString& name, DWORD attributes) {
        return ::SetFileAttributesW(w(at(name)).c_str(), attributes);
    }
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

TEST_F(WindowsPlatform, ReplaceFileWritesTextThroughAHiddenTemporary) {
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(dir + u"/page.html"));
        EXPECT_TRUE(out.write("a\nb\n"));
        EXPECT_TRUE(out.write("c"));
        const Names during = names();
        ASSERT_EQ(during.size(), 3u);
        EXPECT_TRUE(during[2].starts_with(".tarvo-")) << during[2];
        EXPECT_NE(attributesOf(widen(during[2])) & FILE_ATTRIBUTE_HIDDEN, 0u);
        EXPECT_TRUE(out.commit());
    }
    EXPECT_EQ(readFile(tmp.dir + "page.html"), "a\r\nb\r\nc");
    EXPECT_EQ(attributesOf(u"page.html") & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);

    // A page that was hidden stays hidden.
    ASSERT_TRUE(setAttributes(u"page.html", FILE_ATTRIBUTE_HIDDEN));
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(at(u"page.html")));
        out.write("second\n");
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(readFile(tmp.dir + "page.html"), "second\r\n");
    EXPECT_NE(attributesOf(u"page.html") & FILE_ATTRIBUTE_HIDDEN, 0u);

    // Discarded, dropped or refused: the old page stays and no temporary.
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(at(u"page.html")));
        out.write("lost");
        out.discard();
        EXPECT_FALSE(out.commit());
        ASSERT_TRUE(out.create(at(u"page.html")));
        out.write("lost too");
    }
    ASSERT_TRUE(setAttributes(u"page.html", FILE_ATTRIBUTE_READONLY));
    ReplaceFile out;
    EXPECT_FALSE(out.create(at(u"page.html")));
    ASSERT_TRUE(setAttributes(u"page.html", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(readFile(tmp.dir + "page.html"), "second\r\n");
    EXPECT_FALSE(out.create(dir));
    EXPECT_FALSE(out.create(dir + u"\\"));
    EXPECT_FALSE(out.create(at(u"missing\\page.html")));
    EXPECT_EQ(names(), (Names{".", "..", "page.html"}));
}

TEST_F(WindowsPlatform, ReadFileSharesTheFileAndRefusesWhatIsNoDiskFile) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 251));
    writeFile(tmp.dir + "big", bytes);
    // Another writer holds the file open; we may still read it.
    HANDLE writer = ::CreateFileW(w(at(u"big")).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ReadFile file;
    ASSERT_TRUE(file.open(dir + u"/big"));
    ::CloseHandle(writer);
    // Backwards, forwards and past the end.
    for (std::uint64_t pos : {150000u, 0u, 199990u, 250000u}) {
        std::string got(1024, '\0');
        const std::size_t want = pos < bytes.size() ? std::min<std::size_t>(1024, bytes.size() - pos) : 0;
        ASSERT_EQ(file.readAt(pos, got.data(), got.size()), static_cast<long>(want)) << pos;
        EXPECT_EQ(got.substr(0, want), bytes.substr(std::min<std::size_t>(pos, bytes.size()), want)) << pos;
    }
    // Nor does the open file keep others from deleting it.
    EXPECT_TRUE(::DeleteFileW(w(at(u"big")).c_str()));
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
