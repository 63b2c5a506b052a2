#include <tuple>

#include "test_support.h"
#include "text/utf.h"

namespace tarvo::test {
namespace {

TEST(Utf, UndecodableBytesSurviveTheRoundTrip) {
    const std::pair<std::string, WString> cases[] = {
        {"caf\xC3\xA9", u"caf\u00E9"}, {"\xF0\x9F\x98\x80", u"\U0001F600"}, {"\xFF", u"\xDCFF"}, {"a\\b", u"a\\b"},
        {"\xC3(", u"\xDCC3("},                    // cut off by ASCII
        {"\xC0\xAF", u"\xDCC0\xDCAF"},            // overlong
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},  // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"}};  // past U+10FFFF
    for (auto [raw, wide] : cases) {
        EXPECT_EQ(wideOf(raw, true), wide) << raw;
        EXPECT_EQ(utf8Of(wide, {.keepBytes = true}), raw);
    }
    // A real pair whose low half looks like an escaped byte stays a character;
    // without keepBytes a kept byte is no character.
    EXPECT_EQ(utf8Of(u"\U00010080", {.keepBytes = true}), "\xF0\x90\x82\x80");
    EXPECT_EQ(wideOf("\xFF", false), u"\uFFFD");
    EXPECT_EQ(utf8Of(u"\xDCFF", {}), "\xEF\xBF\xBD");
}

TEST(Utf16AsUtf8, FullwidthFoldedAndLoneSurrogates) {
    const char16_t fullwidth[] = {0xFF21, 0xFF00, 0xFF5E, 0xFF5F, 0};  // folded up to U+FF5E
    EXPECT_EQ(utf8Of(fullwidth, {.foldFullwidth = true}), "A ~\xEF\xBD\x9F");
    const char16_t lone[] = {0xDE00, 'x', 0xD83D, 0};
    EXPECT_EQ(utf8Of(lone, {.foldFullwidth = true}), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(Utf8AsUtf16, WellFormedMalformedAndBudget) {
    const std::tuple<const char*, long, WString, bool> cases[] = {
        {"a\xC3\xA9\xE2\x82\xAC", -1, u"a\u00E9\u20AC", true},
        {"\xF0\x9F\x98\x80!", -1, u"\U0001F600!", true},
        // 0xE0 and 0xF0 lead well-formed sequences as well as overlong ones.
        {"\xE0\xA0\x80\xE0\xB8\x81\xF0\x90\x80\x80", -1, u"\u0800\u0E01\U00010000", true},
        {"\xC1\x81|\xE0\x81\x81|\xF0\x80\x81\x81|\xED\xB2\x80", -1, u"?|?|?|?", false},
        {"\x80" "a", -1, u"?a", false},              // lone continuation
        {"\xFE\xFF" "a", -1, u"??a", false},
        {"\xE0" "ab", -1, u"?ab", false},
        {"a\xE2\x82", -1, u"a?", false},             // truncated at the end
        {"\xE2" "AB", -1, u"?AB", false},            // ASCII ends a sequence
        {"a\xE2" "A", -1, u"a?A", false},            // cut off, but ASCII comes first
        {"\xE2\xC3\xA9" "A", -1, u"?\u00E9A", false}, // so does a lead, which starts a character
        {"\xC0" "A\xC0\xC3\xA9", -1, u"?A?\u00E9", false},
        {"\xF4\x90\x80\x80" "a", -1, u"?a", false},  // past U+10FFFF
        {"\xF8\x88\x80\x80\x80" "a", -1, u"?a", false},
        {"\xC3\xA9", 1, u"?", false},                // budget too small
        {"\xC3\xA9", 0, u"", true},
        {"ab\xC3\xA9" "c", 4, u"ab\u00E9", true},
        {"\xC0\xAF" "ab", 2, u"?", false},           // the skip counts too
    };
    for (const auto& [text, count, want, ok] : cases) {
        WString out;
        EXPECT_EQ(appendUtf8AsUtf16(out, count, text), ok) << text;
        EXPECT_EQ(out, want) << text;
    }
    WString out = u"x";
    EXPECT_FALSE(appendUtf8AsUtf16(out, -1, nullptr));
    EXPECT_TRUE(appendUtf8AsUtf16(out, -1, "y"));
    EXPECT_EQ(out, u"xy");
}

}  // namespace
}  // namespace tarvo::test
