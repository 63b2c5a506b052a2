#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "page/wiki_in_stream.h"
#include "platform/platform.h"

namespace tarvo::platform {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = ::testing::TempDir() + "tarvo_platform_XXXXXX";
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::vector<std::string> listing() {
        std::vector<std::string> names;
        DIR* d = ::opendir(dir_.c_str());
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        ::closedir(d);
        return names;
    }

    std::string dir_;
};

TEST(Arguments, UndecodableBytesSurviveTheRoundTrip) {
    std::vector<std::string> raw = {
        "plain", "caf\xC3\xA9", "\xF0\x9F\x98\x80", "\xFF", "\xC3(",  "\xC0\xAF", "\xED\xA0\x80",
        "\xE2\x82", "\xF4\x90\x80\x80", "a\\b",
    };
    std::vector<char*> argv;
    for (auto& r : raw) argv.push_back(r.data());
    std::vector<WString> args = wideArguments(static_cast<int>(argv.size()), argv.data());
    ASSERT_EQ(args.size(), raw.size());
    EXPECT_EQ(args[1], u"caf\u00E9");
    EXPECT_EQ(args[2], u"\U0001F600");
    EXPECT_EQ(args[3], u"\xDCFF");
    EXPECT_EQ(args[4], u"\xDCC3(");
    EXPECT_EQ(args[5], u"\xDCC0\xDCAF");    // overlong
    EXPECT_EQ(args[6], u"\xDCED\xDCA0\xDC80");  // an encoded surrogate
    EXPECT_EQ(args[9], u"a\\b");
    for (std::size_t i = 0; i < raw.size(); ++i) EXPECT_EQ(toUtf8Bytes(args[i]), raw[i]) << i;
    // A real pair whose low half looks like an escaped byte stays a character.
    EXPECT_EQ(toUtf8Bytes(u"\U00010080"), "\xF0\x90\x82\x80");
}

TEST(Wildcards, MatchCaseSensitively) {
    struct Case { const char16_t* pattern; const char16_t* name; bool match; };
    for (const Case& c : std::initializer_list<Case>{
             {u"*", u"a.txt", true},     {u"*.*", u"README", true},  {u"*.*", u".x", true},
             {u"*.txt", u"a.txt", true}, {u"*.txt", u"a.TXT", false}, {u"*.txt", u"a.txt.bak", false},
             {u"?.txt", u"a.txt", true}, {u"?.txt", u"ab.txt", false}, {u"a*b*c", u"aXbYbZc", true},
             {u"a*b*c", u"aXbYc.d", false}, {u"**a", u"bba", true},   {u"A*", u"abc", false},
             {u"*b", u"*ab", true},      {u"*?", u"?x", true},        {u"x", u"x", true},
             {u"", u"x", false},         {u"a?c", u"a\u00E9c", true},
         }) {
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.match)
            << toUtf8Bytes(c.pattern) << " vs " << toUtf8Bytes(c.name);
    }
}

TEST_F(PlatformTest, DirSearchOrderAndFlags) {
    for (const char* f : {"b.txt", "a.txt", "B.TXT", ".hidden.txt", "\xC3\xA9.txt", "\xFF.txt"}) spit(dir_ + "/" + f, "x");
    ASSERT_EQ(::mkdir((dir_ + "/sub").c_str(), 0777), 0);
    ASSERT_EQ(::mkfifo((dir_ + "/fifo").c_str(), 0666), 0);
    ASSERT_EQ(::symlink("nowhere", (dir_ + "/dangling").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (dir_ + "/subLink").c_str()), 0);
    ASSERT_EQ(::symlink("a.txt", (dir_ + "/aLink.txt").c_str()), 0);

    struct Seen { std::string name; bool hidden, system, directory; };
    auto search = [](const WString& pattern) {
        std::vector<Seen> seen;
        DirSearch s;
        DirEntry e;
        for (bool more = s.findFirst(pattern, e); more; more = s.findNext(e))
            seen.push_back({toUtf8Bytes(e.name), e.hidden, e.system, e.directory});
        EXPECT_FALSE(s.findNext(e));
        return seen;
    };
    const WString dir = wideArguments(1, std::vector<char*>{dir_.data()}.data())[0];

    std::vector<Seen> all = search(dir + u"/*");
    std::vector<std::string> names;
    for (const Seen& s : all) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".hidden.txt", "B.TXT", "a.txt", "aLink.txt", "b.txt",
                                               "dangling", "fifo", "sub", "subLink", "\xC3\xA9.txt", "\xFF.txt"}));
    for (const Seen& s : all) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.hidden, s.name[0] == '.');
        EXPECT_EQ(s.system, s.name == "dangling" || s.name == "fifo");
        EXPECT_EQ(s.directory, s.name == "." || s.name == ".." || s.name == "sub" || s.name == "subLink");
    }

    // The backslash separates too; the pattern is case-sensitive.
    names.clear();
    for (const Seen& s : search(dir + u"\\*.txt")) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{".hidden.txt", "a.txt", "aLink.txt", "b.txt", "\xC3\xA9.txt", "\xFF.txt"}));
    names.clear();
    for (const Seen& s : search(dir + u"/?.txt")) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "\xC3\xA9.txt", "\xFF.txt"}));

    EXPECT_TRUE(search(dir + u"/*.none").empty());
    EXPECT_TRUE(search(dir + u"/missing/*").empty());
    EXPECT_TRUE(search(dir + u"/").empty());

    // A name found by the search opens again under the name it was given.
    ReadFile file;
    char c = 0;
    EXPECT_TRUE(file.open(dir + u"\\\xDCFF.txt"));
    EXPECT_EQ(file.readAt(0, &c, 1), 1);
    EXPECT_EQ(c, 'x');
}

TEST_F(PlatformTest, ReadFileReadsAnywhereAndRefusesWhatIsNoFile) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 251));
    spit(dir_ + "/big", bytes);
    ReadFile file;
    ASSERT_TRUE(file.open(widen(dir_ + "\\big")));
    // Backwards, forwards, across the read-ahead, and at and past the end.
    for (std::uint64_t at : {150000u, 0u, 65530u, 131070u, 1000u, 199990u, 200000u, 250000u}) {
        std::string got(1024, '\0');
        long n = file.readAt(at, got.data(), got.size());
        std::size_t want = at < bytes.size() ? std::min<std::size_t>(1024, bytes.size() - at) : 0;
        ASSERT_EQ(n, static_cast<long>(want)) << at;
        EXPECT_EQ(got.substr(0, want), bytes.substr(std::min<std::size_t>(at, bytes.size()), want)) << at;
    }
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.readAt(0, nullptr, 0), -1);

    EXPECT_FALSE(file.open(widen(dir_)));
    EXPECT_FALSE(file.open(widen(dir_ + "/missing")));
    // A FIFO without a writer neither blocks the open nor yields lines.
    ASSERT_EQ(::mkfifo((dir_ + "/fifo").c_str(), 0666), 0);
    WikiInStream in;
    in.open(widen(dir_ + "/fifo"));
    std::string line;
    EXPECT_FALSE(in.readLine(line));
}

TEST_F(PlatformTest, ReplaceFileCommitsOrLeavesTheTargetAlone) {
    const std::string target = dir_ + "/page.html";
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(widen(dir_ + "\\page.html")));
        EXPECT_TRUE(out.write("new "));
        EXPECT_TRUE(out.write("text"));
        std::vector<std::string> names = listing();
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].rfind(".page.html.", 0), 0u) << names[0];
        EXPECT_TRUE(out.commit());
        EXPECT_FALSE(out.write("late"));
    }
    EXPECT_EQ(slurp(target), "new text");
    EXPECT_EQ(listing(), std::vector<std::string>{"page.html"});

    // An existing file keeps its permissions through a commit ...
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(widen(target)));
        out.write("second");
        ASSERT_TRUE(out.commit());
    }
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(slurp(target), "second");

    // ... and stays as it was when the new one is discarded or dropped.
    {
        ReplaceFile out;
        ASSERT_TRUE(out.create(widen(target)));
        out.write("lost");
        out.discard();
        EXPECT_FALSE(out.commit());
        ASSERT_TRUE(out.create(widen(target)));
        out.write("lost too");
    }
    EXPECT_EQ(slurp(target), "second");
    EXPECT_EQ(listing(), std::vector<std::string>{"page.html"});

    ReplaceFile out;
    EXPECT_FALSE(out.create(widen(dir_)));
    EXPECT_FALSE(out.create(widen(dir_ + "/")));
    EXPECT_FALSE(out.create(widen(dir_ + "/missing/page.html")));
    EXPECT_EQ(listing(), std::vector<std::string>{"page.html"});
}

}  // namespace
}  // namespace tarvo::platform
