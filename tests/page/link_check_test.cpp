#include "page/link_check.h"

#include <vector>

#include "test_support.h"

namespace tarvo::test {
namespace {

std::vector<std::string> targetsOf(const PageLinks& links) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end : links.ends) {
        out.push_back(links.targets.substr(start, end - start));
        start = end;
    }
    return out;
}

// The targets found in html, fed whole and fed byte by byte (every tag,
// name and value then spans pieces); with fragments, then the ids, each
// after "id:".
std::vector<std::string> scan(std::string_view html, bool byteByByte, bool fragments = false) {
    PageLinks links;
    LinkScanner scanner(links, fragments);
    if (byteByByte)
        for (char c : html) scanner.feed(std::string_view(&c, 1));
    else
        scanner.feed(html);
    scanner.end();
    std::vector<std::string> found = targetsOf(links);
    for (const std::string& id : targetsOf(PageLinks{links.ids, links.idEnds, {}, {}})) found.push_back("id:" + id);
    return found;
}

TEST(LinkScanner, WithFragmentsKeepsTheIdsOfEveryTagAndTheLinksWithinThePage) {
    const std::string_view html =
        "<h2 id=\"See_also\">x</h2><a name=top href=\"#See_also\"><a href=\"#\"><p ID='Q&amp;A'>"
        "<img name=no id=pic src=\"p.png\"></h2 id=no><a id=\"open";
    const std::vector<std::string> expected = {"#See_also", "p.png", "id:See_also", "id:top", "id:Q&amp;A",
                                               "id:pic", "id:open"};
    EXPECT_EQ(scan(html, false, true), expected);
    EXPECT_EQ(scan(html, true, true), expected);
    EXPECT_EQ(scan(html, false), std::vector<std::string>{"p.png"});
}

TEST(LinkScanner, FindsTheHrefOfATagsAndTheSrcOfImgTagsAsABrowserReadsThem) {
    using V = std::vector<std::string>;
    const std::pair<std::string_view, V> cases[] = {
        {"<p>See <a href=\"b.html\">b</a> and <img src=\"c.png\"/>.</p>\n", {"b.html", "c.png"}},
        {"<a href='q.html'>, <a href=u.html>, <a href = \"s.html\" >", {"q.html", "u.html", "s.html"}},
        {"<A HREF=\"U.html\"><IMG SRC=p.png><img/src=\"x.png\">", {"U.html", "p.png", "x.png"}},
        // Only the first attribute of the name counts, with a value or not.
        {"<a href=\"1.html\" href=\"2.html\"><a href href=\"3.html\"><a hrefx=4 href=5>", {"1.html", "5"}},
        // Other tags, other attributes, end tags.
        {"<img href=no.png src=yes.png><a src=no title='<a href=no>'><abbr href=no><area href=no>"
         "<link href=no></a href=no><ax href=no><i>x</i>",
         {"yes.png"}},
        // A quoted value holds what an unquoted one ends at.
        {"<a href=\"a b>c<d.html\"><a href='it\"s.html'><a href=x.html>y", {"a b>c<d.html", "it\"s.html", "x.html"}},
        // A "<" that begins no tag, and text that looks like a tag.
        {"a < b <<a href=t.html> &lt;a href=no> <3 </> <!x>", {"t.html"}},
        // Kept as written; only external links and links within the page go.
        {"<a href=\"http://x\"><a href=\"MAILTO:y\"><a href=\"man:tarvo(1)\"><a href=\"#top\"><a href=\"\">"
         "<a href=\"//host/x\"><a href=\" #a\"><a href=\"c:d\">",
         {}},
        {"<a href=\"Help:Contents.html\"><a href=\"My page:1.html\"><a href=\"1:x\"><a href=\"x.html#p\">"
         "<a href=\" sp.html \">",
         {"My page:1.html", "1:x", "x.html#p", " sp.html "}},
        // A value still open when the text ends, quoted or not.
        {"<a href=\"open.html", {"open.html"}},
        {"<img src=tail.png", {"tail.png"}},
    };
    for (const auto& [html, expected] : cases) {
        EXPECT_EQ(scan(html, false), expected) << html;
        EXPECT_EQ(scan(html, true), expected) << html << " (byte by byte)";
    }
}

TEST(ResolveTarget, ResolvesAsABrowserDoesAgainstThePagesFolder) {
    const std::tuple<std::string_view, std::string_view, std::string> cases[] = {
        {"", "b.html", "b.html"},
        {"site", "b.html#Part", "site/b.html"},
        {"site/sub", "../b.html", "site/b.html"},
        {"a", "./b/../c/", "a/c"},
        {"a", "x\\y.html", "a/x/y.html"},
        {"", "../../x.html", "../../x.html"},
        {"a", "../../x.html", "../x.html"},
        {"a", " \tspaced.html \n", "a/spaced.html"},
        {"a", "My%20Page%2e%68tml", "a/My Page.html"},
        {"a", "%2F%00%zz%4", "a/%2F%00%zz%4"},  // no name holds "/" or NUL
        {"a", "b%5Cc", "a/b\\c"},                 // a "\" escaped is a byte of the name
        {"/r/a", "../../../x", "/x"},
        {"a", "/abs//x/./y", "/abs/x/y"},
        {"", ".html", ".html"},
        {"a", "Q&amp;A.html", "a/Q&A.html"},                 // character references, as a browser reads them
        {"a", "a&lt;b.html?from=index", "a/a<b.html"},       // the query is no part of the file
        {"a", "logo.png?v=2#top", "a/logo.png"},
        {"a", "x&#37;41&#x3F;y", "a/xA"},                    // references first, then "?", then %XX
        {"a", "&ampx&amp=1&unknown;", "a/&ampx&amp=1&unknown;"},
    };
    for (const auto& [folder, target, path] : cases) EXPECT_EQ(resolveTarget(folder, target), path) << target;
#ifdef _WIN32
    EXPECT_EQ(resolveTarget("X:", "b.html"), "X:b.html");
    EXPECT_EQ(resolveTarget("X:/out", "../../b.html"), "X:/b.html");
    EXPECT_EQ(normalizedPath("//server/share/../a"), "//server/a");
#else
    EXPECT_EQ(resolveTarget("x:", "b.html"), "x:/b.html");
#endif
}

}  // namespace
}  // namespace tarvo::test
