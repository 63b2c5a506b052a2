// The Windows side of the operating-system layer, run under Wine by the
// Windows build (an empty file elsewhere).
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>
#undef ReplaceFile

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "page/wiki_in_stream.h"
#include "platform/platform.h"

namespace tarvo::platform {
namespace {

std::wstring w(const WString& s) { return std::wstring(s.begin(), s.end()); }

class WindowsPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        for (unsigned n = ::GetCurrentProcessId();; ++n) {
            std::wstring dir = std::wstring(temp) + L"tarvo-win-" + std::to_wstring(n);
            if (::CreateDirectoryW(dir.c_str(), nullptr)) {
                dir_ = WString(dir.begin(), dir.end());
                break;
            }
            ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        }
    }
    void TearDown() override {
        std::error_code ec;
        for (auto& e : std::filesystem::recursive_directory_iterator(w(dir_), ec))
            ::SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(w(dir_), ec);
    }

    WString at(const WString& name) const { return dir_ + u"\\" + name; }

    void make(const WString& name, const std::string& bytes, DWORD attributes = 0) {
        HANDLE h = ::CreateFileW(w(at(name)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << toUtf8Bytes(name);
        DWORD written = 0;
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(h);
        if (attributes) {
            ASSERT_TRUE(::SetFileAttributesW(w(at(name)).c_str(), attributes));
        }
    }

    std::string bytesOf(const WString& name) {
        ReadFile file;
        std::string out(1 << 16, '\0');
        if (!file.open(at(name))) return "<none>";
        out.resize(static_cast<std::size_t>(file.readAt(0, out.data(), out.size())));
        return out;
    }

    DWORD attributesOf(const WString& name) { return ::GetFileAttributesW(w(at(name)).c_str()); }

    struct Seen {
        std::string name;
        bool hidden, system, directory;
    };
    std::vector<Seen> search(const WString& pattern) {
        std::vector<Seen> seen;
        DirSearch s;
        DirEntry e;
        for (bool more = s.findFirst(pattern, e); more; more = s.findNext(e))
            seen.push_back({toUtf8Bytes(e.name), e.hidden, e.system, e.directory});
        return seen;
    }
    std::vector<std::string> names(const WString& pattern) {
        std::vector<std::string> out;
        for (const Seen& s : search(pattern)) out.push_back(s.name);
        return out;
    }

    WString dir_;
};

TEST(WindowsText, WideTextBecomesUtf8) {
    EXPECT_EQ(toUtf8Bytes(u"caf\u00E9 \U0001F600"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
    // Lone surrogates, wherever they stand, become U+FFFD.
    EXPECT_EQ(toUtf8Bytes(u"a\xD83D" u"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(toUtf8Bytes(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    std::vector<std::string> raw = {"caf\xC3\xA9", "\xF0\x9F\x98\x80", "\xFF"};
    std::vector<char*> argv;
    for (auto& r : raw) argv.push_back(r.data());
    EXPECT_EQ(wideArguments(3, argv.data()), (std::vector<WString>{u"caf\u00E9", u"\U0001F600", u"\uFFFD"}));
    EXPECT_EQ(kPathSeparator, u'\\');
    EXPECT_EQ(std::u16string_view(kDirSeparators), u"/\\:");
}

TEST(WindowsText, NamesThatLeaveTheDirectory) {
    for (const char16_t* inside : {u"g", u"net/x", u"a\\b", u"a..b", u".x", u"x.", u". /y", u"\U0001F600"})
        EXPECT_FALSE(escapesDirectory(inside)) << toUtf8Bytes(inside);
    for (const char16_t* outside : {u"/x", u"\\x", u"C:x", u"a:b", u"C:\\w", u"a/../../x", u"a\\..", u"...\\x",
                                    u".. /x", u"x/. ./y"})
        EXPECT_TRUE(escapesDirectory(outside)) << toUtf8Bytes(outside);
}

TEST_F(WindowsPlatform, SearchKeepsTheSystemOrderAndAttributes) {
    for (const char16_t* f : {u"b.txt", u"a.txt", u"B2.TXT", u"Alpha.txt", u"\u00E9.txt", u"\U0001F600.txt", u"README"})
        make(f, "x");
    make(u"h.txt", "x", FILE_ATTRIBUTE_HIDDEN);
    make(u"s.txt", "x", FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(::CreateDirectoryW(w(at(u"sub")).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(w(at(u"hs")).c_str(), nullptr));
    ASSERT_TRUE(::SetFileAttributesW(w(at(u"hs")).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

    // The listing comes as the system gives it: names compared with letters
    // folded to capitals, not byte by byte.
    std::vector<Seen> all = search(at(u"*"));
    std::vector<std::string> listed;
    for (const Seen& s : all) listed.push_back(s.name);
    EXPECT_EQ(listed, (std::vector<std::string>{".", "..", "a.txt", "Alpha.txt", "b.txt", "B2.TXT", "h.txt", "hs",
                                                "README", "s.txt", "sub", "\xC3\xA9.txt", "\xF0\x9F\x98\x80.txt"}));
    for (const Seen& s : all) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.hidden, s.name == "h.txt" || s.name == "hs");
        EXPECT_EQ(s.system, s.name == "s.txt" || s.name == "hs");
        EXPECT_EQ(s.directory, s.name == "." || s.name == ".." || s.name == "sub" || s.name == "hs");
    }
    // The system's matching: letters in any case, "*.*" also finds names
    // without a dot, "/" separates as well as "\\".
    EXPECT_EQ(names(at(u"*.TXT")).size(), 8u);
    EXPECT_EQ(names(dir_ + u"/a*"), (std::vector<std::string>{"a.txt", "Alpha.txt"}));
    EXPECT_EQ(names(at(u"?.txt")), (std::vector<std::string>{"a.txt", "b.txt", "h.txt", "s.txt", "\xC3\xA9.txt"}));
    std::vector<std::string> every = names(at(u"*.*"));
    EXPECT_NE(std::find(every.begin(), every.end(), "README"), every.end());
    EXPECT_TRUE(search(at(u"*.none")).empty());
    EXPECT_TRUE(search(at(u"missing\\*")).empty());
    EXPECT_TRUE(search(dir_ + u"\\").empty());
}

TEST_F(WindowsPlatform, ReplaceFileWritesTextThroughAHiddenTemporary) {
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(dir_ + u"/page.html"));
        EXPECT_TRUE(out.write("a\nb\n"));
        EXPECT_TRUE(out.write("c"));
        std::vector<Seen> during = search(at(u"*"));
        ASSERT_EQ(during.size(), 3u);
        EXPECT_EQ(during[2].name.rfind(".page.html.", 0), 0u) << during[2].name;
        EXPECT_TRUE(during[2].hidden);
        EXPECT_TRUE(out.commit());
    }
    EXPECT_EQ(bytesOf(u"page.html"), "a\r\nb\r\nc");
    EXPECT_EQ(names(at(u"*")), (std::vector<std::string>{".", "..", "page.html"}));
    EXPECT_EQ(attributesOf(u"page.html") & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);

    // A page that was hidden stays hidden.
    ASSERT_TRUE(::SetFileAttributesW(w(at(u"page.html")).c_str(), FILE_ATTRIBUTE_HIDDEN));
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(at(u"page.html")));
        out.write("second\n");
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(bytesOf(u"page.html"), "second\r\n");
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
    ASSERT_TRUE(::SetFileAttributesW(w(at(u"page.html")).c_str(), FILE_ATTRIBUTE_READONLY));
    ReplaceFile out;
    EXPECT_FALSE(out.create(at(u"page.html")));
    ASSERT_TRUE(::SetFileAttributesW(w(at(u"page.html")).c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(bytesOf(u"page.html"), "second\r\n");
    EXPECT_FALSE(out.create(dir_));
    EXPECT_FALSE(out.create(dir_ + u"\\"));
    EXPECT_FALSE(out.create(at(u"missing\\page.html")));
    EXPECT_EQ(names(at(u"*")), (std::vector<std::string>{".", "..", "page.html"}));

    // A name beyond U+FFFF is one character of the file name.
    ASSERT_TRUE(out.create(at(u"g\U0001F600.dot")));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(names(at(u"g*")), std::vector<std::string>{"g\xF0\x9F\x98\x80.dot"});
}

TEST_F(WindowsPlatform, ReadFileSharesTheFileAndRefusesWhatIsNoDiskFile) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 251));
    make(u"big", bytes);
    // Another writer holds the file open; we may still read it.
    HANDLE writer = ::CreateFileW(w(at(u"big")).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ReadFile file;
    ASSERT_TRUE(file.open(dir_ + u"/big"));
    ::CloseHandle(writer);
    for (std::uint64_t pos : {150000u, 0u, 65530u, 131070u, 199990u, 200000u, 250000u}) {
        std::string got(1024, '\0');
        long n = file.readAt(pos, got.data(), got.size());
        std::size_t want = pos < bytes.size() ? std::min<std::size_t>(1024, bytes.size() - pos) : 0;
        ASSERT_EQ(n, static_cast<long>(want)) << pos;
        EXPECT_EQ(got.substr(0, want), bytes.substr(std::min<std::size_t>(pos, bytes.size()), want)) << pos;
    }
    // Nor does the open file keep others from deleting it.
    EXPECT_TRUE(::DeleteFileW(w(at(u"big")).c_str()));
    file.close();

    EXPECT_FALSE(file.open(dir_));
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
    make(u"a.txt", "a");
    make(u"b.txt", "b");
    ASSERT_TRUE(::CreateDirectoryW(w(at(u"sub")).c_str(), nullptr));
    ASSERT_TRUE(::CreateHardLinkW(w(at(u"sub\\hard.txt")).c_str(), w(at(u"a.txt")).c_str(), nullptr));
    const FileIdentity a = identify(at(u"a.txt"));
    EXPECT_TRUE(a.exists);
    EXPECT_EQ(a, identify(dir_ + u"/sub/../A.TXT"));
    EXPECT_EQ(a, identify(at(u"sub\\hard.txt")));
    EXPECT_FALSE(a == identify(at(u"b.txt")));
    EXPECT_EQ(identify(at(u"sub")), identify(dir_ + u"/sub/"));
    EXPECT_FALSE(identify(at(u"sub")) == identify(dir_));
    EXPECT_FALSE(identify(at(u"none")).exists);
    EXPECT_FALSE(identify(at(u"none")) == identify(at(u"none")));
}

}  // namespace
}  // namespace tarvo::platform

#endif
