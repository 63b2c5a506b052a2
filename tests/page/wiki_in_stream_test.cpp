#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "page/wiki_in_stream.h"

namespace tarvo {
namespace {

using Lines = std::vector<std::string>;

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = ::testing::TempDir() + "tarvo_reader_XXXXXX";
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override {
        for (const std::string& f : files_) std::remove(f.c_str());
        std::remove(dir_.c_str());
    }

    // Writes the bytes to a new file and reads it back line by line. After the
    // last line, readLine must keep returning false and atEnd must hold.
    Lines read(const std::string& bytes, SourceEncoding* encoding = nullptr) {
        std::string path = dir_ + "/f" + std::to_string(files_.size());
        files_.push_back(path);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        WikiInStream in;
        in.open(widen(path));
        EXPECT_TRUE(in.good());
        Lines lines;
        std::string line = "junk";
        while (lines.size() <= bytes.size() && in.readLine(line)) lines.push_back(line);
        EXPECT_EQ(line, "");
        EXPECT_FALSE(in.readLine(line));
        EXPECT_TRUE(in.atEnd());
        if (encoding) *encoding = in.encoding();
        return lines;
    }

    std::string dir_;
    std::vector<std::string> files_;
};

// The lines of a byte file: LF, CR LF and a lone CR end a line.
Lines splitBytes(const std::string& s) {
    Lines out;
    std::string cur;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' || s[i] == '\r') {
            if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(s[i]);
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::string utf16(const std::u16string& units, bool big, bool mark = true) {
    std::string out;
    if (mark) out = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : units) {
        char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        out += big ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

TEST_F(ReaderTest, LineEndsMarksAndBytes) {
    EXPECT_EQ(read("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(read("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(read("a\rb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(read("\r\r\n\n\n\rx"), (Lines{"", "", "", "", "", "x"}));
    EXPECT_EQ(read(std::string("a\0b\n\xE9\n", 6)), (Lines{std::string("a\0b", 3), "\xE9"}));
    // A mark only counts at the start; a partial mark is text.
    EXPECT_EQ(read("x\xEF\xBB\xBF\xFF\xFE"), (Lines{"x\xEF\xBB\xBF\xFF\xFE"}));
    EXPECT_EQ(read("\xEF\xBB"), (Lines{"\xEF\xBB"}));

    SourceEncoding enc;
    EXPECT_EQ(read("", &enc), Lines{});
    EXPECT_EQ(enc, SourceEncoding::Undetected);
    EXPECT_EQ(read("\xEF\xBB\xBF", &enc), Lines{});
    EXPECT_EQ(enc, SourceEncoding::Utf8Bom);
    EXPECT_EQ(read("\xFF\xFE", &enc), Lines{});
    EXPECT_EQ(enc, SourceEncoding::Utf16LittleEndian);
    EXPECT_EQ(read("\xFE\xFF", &enc), Lines{});
    EXPECT_EQ(enc, SourceEncoding::Utf16BigEndian);
    EXPECT_EQ(read("\xEF\xBB\xBF\n\xC3\xA9", &enc), (Lines{"", "\xC3\xA9"}));
    EXPECT_EQ(enc, SourceEncoding::Utf8Bom);
    EXPECT_EQ(read("\xE9\n", &enc), Lines{"\xE9"});
    EXPECT_EQ(enc, SourceEncoding::Bytes);
}

TEST_F(ReaderTest, LineEndsAroundWindowBoundaries) {
    // CR or CR LF as the last, second-to-last or first byte of a window, in
    // files ending right there (sizes 1024 and 2048 included) or going on.
    for (const char* lead : {"", "x\n", "xy\r\n"}) {
        for (std::size_t n : {1021u, 1022u, 1023u, 1024u, 2045u, 2046u, 2047u, 2048u}) {
            for (const char* end : {"\n", "\r\n", "\r"}) {
                for (const char* tail : {"", "b", "b\r", "\nc\r\n"}) {
                    std::string lead_s = lead;
                    std::string s = lead_s + std::string(n - lead_s.size(), 'a') + end + tail;
                    EXPECT_EQ(read(s), splitBytes(s)) << "n=" << n << " lead=" << lead_s.size()
                                                      << " end=" << int(end[0]) << int(end[1]);
                }
            }
        }
    }
    EXPECT_EQ(read(std::string(1024, 'a')), Lines{std::string(1024, 'a')});
    EXPECT_EQ(read(std::string(1023, 'a') + "\n"), Lines{std::string(1023, 'a')});
    EXPECT_EQ(read(std::string(3000, 'q') + "\nnext\n"), (Lines{std::string(3000, 'q'), "next"}));
}

TEST_F(ReaderTest, ArbitraryBytesSplitLikeTheReference) {
    // Any bytes, any line length: long runs, CR/LF clusters and zero bytes,
    // across many windows and past the read-ahead of the file layer.
    std::uint32_t seed = 12345;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const char alphabet[] = {'a', 'b', '\r', '\n', '\0', '\xE9', '\xFF'};
    for (std::size_t size : {1u, 2u, 700u, 3000u, 9000u, 150000u}) {
        std::string s;
        while (s.size() < size) {
            char c = alphabet[next() % sizeof alphabet];
            s.append(next() % 8 == 0 ? next() % 2500 : 1, c);
        }
        s.resize(size);
        if (s.rfind("\xFF\xFE", 0) == 0 || s.rfind("\xFE\xFF", 0) == 0) s[0] = 'a';
        EXPECT_EQ(read(s), splitBytes(s)) << "size=" << size;
        EXPECT_EQ(read("\xEF\xBB\xBF" + s), splitBytes(s)) << "size=" << size;
    }
    // UTF-16 the same way: however the windows cut the units, each line comes
    // out as the whole line converted at once (an odd last byte is dropped).
    const char16_t units[] = {u'a', u'\r', u'\n', 0, 0xD83D, 0xDE00, 0xFF21, 0xE9};
    for (std::size_t size : {1u, 511u, 3000u, 40000u}) {
        std::u16string s;
        while (s.size() < size) s.append(next() % 8 == 0 ? next() % 1500 : 1, units[next() % 8]);
        s.resize(size);
        Lines want;
        std::u16string cur;
        for (std::size_t i = 0; i <= s.size(); ++i) {
            if (i == s.size() ? !cur.empty() : s[i] == u'\r' || s[i] == u'\n') {
                if (i < s.size() && s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ++i;
                want.emplace_back();
                appendUtf16AsUtf8(want.back(), cur.data(), cur.size(), false);
                cur.clear();
            } else if (i < s.size()) {
                cur.push_back(s[i]);
            }
        }
        EXPECT_EQ(read(utf16(s, false) + (size % 2 ? "x" : "")), want) << "size=" << size;
        EXPECT_EQ(read(utf16(s, true)), want) << "size=" << size;
    }
    EXPECT_EQ(read("\xFF"), Lines{"\xFF"});
    EXPECT_EQ(read("\r"), Lines{""});
}

TEST_F(ReaderTest, Utf16BothOrders) {
    for (bool big : {false, true}) {
        SourceEncoding enc;
        EXPECT_EQ(read(utf16(u"x\r\ny", big), &enc), (Lines{"x", "y"}));
        EXPECT_EQ(enc, big ? SourceEncoding::Utf16BigEndian : SourceEncoding::Utf16LittleEndian);
        EXPECT_EQ(read(utf16(u"a\rb\nc\r", big)), (Lines{"a", "b", "c"}));
        // Folding of fullwidth forms, two- and three-byte forms, a surrogate
        // pair, lone surrogates and zero units.
        EXPECT_EQ(read(utf16(u"\uFF21\uFF00\uFF5E\uFF5F\u00E9\u20AC\n", big)),
                  Lines{"A ~\xEF\xBD\x9F\xC3\xA9\xE2\x82\xAC"});
        EXPECT_EQ(read(utf16(u"\U0001F600|\xD800" u"a|\xDC00|\xD800\xD83D\xDE00|\xD83D", big)),
                  Lines{"\xF0\x9F\x98\x80|\xEF\xBF\xBD" "a|\xEF\xBF\xBD|\xEF\xBF\xBD\xF0\x9F\x98\x80|\xEF\xBF\xBD"});
        EXPECT_EQ(read(utf16(std::u16string(u"a\0b\n\0", 5), big)), (Lines{std::string("a\0b", 3), std::string(1, '\0')}));
        // A high surrogate right before a line end does not take the next line's unit.
        EXPECT_EQ(read(utf16(u"\xD83D\r\n\xDE00", big)), (Lines{"\xEF\xBF\xBD", "\xEF\xBF\xBD"}));
        // An odd trailing byte is dropped, the text before it kept.
        EXPECT_EQ(read(utf16(u"a\nb", big) + "B"), (Lines{"a", "b"}));
        EXPECT_EQ(read(utf16(u"", big) + "B"), Lines{});
    }
}

TEST_F(ReaderTest, Utf16AcrossWindowBoundaries) {
    // After the two-byte mark unit k sits at byte 2 + 2k: unit 510 is the
    // last of the first window, unit 1022 the last of the second.
    const std::u16string pair = u"\U0001F600";
    for (bool big : {false, true}) {
        for (std::size_t n : {509u, 510u, 511u, 1020u, 1021u, 1022u, 1023u}) {
            const std::u16string a(n, u'a');
            const std::string as(n, 'a');
            EXPECT_EQ(read(utf16(a + pair + u"\n" + pair, big)),
                      (Lines{as + "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}))
                << "n=" << n;
            EXPECT_EQ(read(utf16(a + u"\r\nb", big)), (Lines{as, "b"})) << "n=" << n;
            EXPECT_EQ(read(utf16(a + u"\rb\r", big)), (Lines{as, "b"})) << "n=" << n;
            EXPECT_EQ(read(utf16(a + u"\uFF21\r", big) + "B"), (Lines{as + "A"})) << "n=" << n;
        }
        // 1024- and 2048-byte files: mark plus 511 or 1023 units.
        EXPECT_EQ(read(utf16(std::u16string(510, u'a') + u"\n", big)), Lines{std::string(510, 'a')});
        EXPECT_EQ(read(utf16(std::u16string(1023, u'\u00E9'), big)), Lines{[] {
                      std::string s;
                      for (int i = 0; i < 1023; ++i) s += "\xC3\xA9";
                      return s;
                  }()});
        EXPECT_EQ(read(utf16(std::u16string(3000, u'z') + u"\r\nnext", big)),
                  (Lines{std::string(3000, 'z'), "next"}));
    }
}

TEST(Utf16AsUtf8, CountsSwapAndZeroUnits) {
    std::string out = ">";
    const char16_t text[] = u"a\u00E9\0b";
    EXPECT_EQ(appendUtf16AsUtf8(out, text, 0, false), 2u);  // stops at the zero unit
    EXPECT_EQ(out, ">a\xC3\xA9");
    out.clear();
    EXPECT_EQ(appendUtf16AsUtf8(out, text, 4, false), 4u);  // a count converts zero units too
    EXPECT_EQ(out, std::string("a\xC3\xA9\0b", 5));
    out.clear();
    const char16_t swapped[] = {0x4100, 0x21FF, 0x3DD8, 0x00DE, 0};
    EXPECT_EQ(appendUtf16AsUtf8(out, swapped, 0, true), 4u);
    EXPECT_EQ(out, "AA\xF0\x9F\x98\x80");
    out.clear();
    const char16_t lone[] = {0xDE00, 'x', 0xD83D, 0};
    appendUtf16AsUtf8(out, lone, 0, false);
    EXPECT_EQ(out, "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(appendUtf16AsUtf8(out, nullptr, 0, false), 0u);
}

TEST(Utf8AsUtf16, WellFormedMalformedAndBudget) {
    auto conv = [](const char* text, long count = -1) {
        WString out;
        bool ok = appendUtf8AsUtf16(out, count, text);
        return std::make_pair(out, ok);
    };
    using R = std::pair<WString, bool>;
    EXPECT_EQ(conv("a\xC3\xA9\xE2\x82\xAC"), (R{u"a\u00E9\u20AC", true}));
    EXPECT_EQ(conv("\xF0\x9F\x98\x80!"), (R{u"\U0001F600!", true}));
    // 0xE0 and 0xF0 lead well-formed sequences as well as overlong ones.
    EXPECT_EQ(conv("\xE0\xA0\x80\xE0\xB8\x81\xF0\x90\x80\x80"), (R{u"\u0800\u0E01\U00010000", true}));
    EXPECT_EQ(conv("\xC1\x81|\xE0\x81\x81|\xF0\x80\x81\x81|\xED\xB2\x80"), (R{u"?|?|?|?", false}));
    EXPECT_EQ(conv("\x80" "a"), (R{u"?a", false}));                    // lone continuation
    EXPECT_EQ(conv("\xFE\xFF" "a"), (R{u"??a", false}));
    EXPECT_EQ(conv("\xC0\xAF" "a"), (R{u"?a", false}));                // overlong forms
    EXPECT_EQ(conv("\xE0\x80\xAF" "a"), (R{u"?a", false}));
    EXPECT_EQ(conv("\xE0" "ab"), (R{u"?ab", false}));
    EXPECT_EQ(conv("a\xE2\x82"), (R{u"a?", false}));                   // truncated at the end
    EXPECT_EQ(conv("\xE2" "AB"), (R{u"?AB", false}));                 // ASCII ends a sequence
    EXPECT_EQ(conv("a\xE2" "A"), (R{u"a?A", false}));                // cut off, but ASCII comes first
    EXPECT_EQ(conv("\xE2\xC3\xA9" "A"), (R{u"?A", false}));           // so does a lead
    EXPECT_EQ(conv("\xF4\x90\x80\x80" "a"), (R{u"?a", false}));        // past U+10FFFF
    EXPECT_EQ(conv("\xF8\x88\x80\x80\x80" "a"), (R{u"?a", false}));
    EXPECT_EQ(conv("\xC3\xA9", 1), (R{u"?", false}));                  // budget too small
    EXPECT_EQ(conv("\xC3\xA9", 0), (R{u"", true}));
    EXPECT_EQ(conv("ab\xC3\xA9" "c", 4), (R{u"ab\u00E9", true}));
    EXPECT_EQ(conv("\xC0\xAF" "ab", 2), (R{u"?", false}));             // the skip counts too
    WString out = u"x";
    EXPECT_FALSE(appendUtf8AsUtf16(out, -1, nullptr));
    EXPECT_TRUE(appendUtf8AsUtf16(out, -1, "y"));
    EXPECT_EQ(out, u"xy");
}

TEST(ReadTextLine, LinesLongLinesAndTheEnd) {
    MemoryText text;
    text.data = "a\n\n" + std::string(25000, 'w') + "\nlast";
    std::string line;
    for (const std::string& want : {std::string("a"), std::string(), std::string(25000, 'w')}) {
        readTextLine(text, line);
        EXPECT_EQ(line, want);
        EXPECT_FALSE(text.eof);
    }
    readTextLine(text, line);
    EXPECT_EQ(line, "last");
    EXPECT_TRUE(text.eof);
    readTextLine(text, line);
    EXPECT_EQ(line, "");
    EXPECT_TRUE(text.eof);

    text.data = "only\n";
    text.rewind();
    readTextLine(text, line);
    EXPECT_EQ(line, "only");
    EXPECT_FALSE(text.eof);
    readTextLine(text, line);
    EXPECT_EQ(line, "");
    EXPECT_TRUE(text.eof);
}

}  // namespace
}  // namespace tarvo
