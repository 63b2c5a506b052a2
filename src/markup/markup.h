// Translation of wiki markup into the HTML body of a page. The block parser
// reads the source line by line (block_parser.cpp, lists.cpp, tables.cpp)
// and hands the text within a line to the inline scan (inline_formatter.cpp,
// links.cpp), which writes the translation. The translation never fails,
// never prints and never opens a file: the body's bytes go to the output it
// is given, and whatever else the page must hear of goes to the PageEvents
// it is given, in page order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "diagram/diagram.h"
#include "io/line_source.h"
#include "io/page_output.h"
#include "markup/block_state.h"

namespace tarvo {

struct MarkupOptions {
    std::string filePrefix;  // put in front of [[file:...]] image names
    std::string genPrefix;   // put in front of diagram picture names
    // Keep no script in the page: HTML of the text with only the attributes
    // of allowed_html.h, checked addresses, no link in a link, tags closed.
    bool safe = false;
    // Every heading gets an id made from its text, and the fragment of an
    // internal link is written in the same form, so that it lands there.
    bool headingIds = false;
    // The page is told of its headings and of the words that place or
    // suppress its table of contents, which are taken out of the text.
    bool contents = false;
};

// Working memory of the inline scan, kept between calls so that a line does
// not cost fresh allocations.
struct InlineBuffers {
    std::string done;     // translated text before the scan position
    std::string scratch;  // inserted text being built
    std::string decoded;  // an attribute value as a browser decodes it (--safe)
    // Text still to scan, once something was pushed back. Not initialised:
    // only the bytes written count against the process's memory.
    std::unique_ptr<char[]> input;
};

// Everything the inline scan may use.
struct InlineContext {
    MarkupOptions options;
    InlineState state;
    DiagramContext diagram;
    InlineBuffers buffers;
};

// The words of the text that place the table of contents or decide
// whether there is one.
enum class ContentsWord : std::uint8_t {
    Here,    // __TOC__: the table goes here (and the page has one)
    Never,   // __NOTOC__: the page has none
    Always,  // __FORCETOC__: the page has one, however few its headings
};

// What the translation tells the page besides the body's bytes, in page
// order, as it meets it: a diagram block closed (its DOT text, to be
// stored); with MarkupOptions::contents, each heading and each word about
// the table of contents.
class PageEvents : public DiagramSink {
public:
    // A heading, before its opening tag is written: its level (1 to 6), its
    // id (empty: it has none) and its translated text without links.
    virtual void heading(int /*level*/, std::string_view /*id*/, std::string_view /*text*/) {}
    // A word about the table of contents, taken out of the text; every byte
    // of the body before the place where it stood has been written.
    virtual void contentsWord(ContentsWord /*word*/) {}

protected:
    ~PageEvents() = default;
};

// The ids the headings of a page were given, each with the number a later
// heading of the same text tries first.
using HeadingIds = std::unordered_map<std::string, unsigned>;

// Everything the translation keeps over a page.
struct MarkupContext {
    explicit MarkupContext(MarkupOptions options) : inlines{std::move(options), {}, {}, {}} {}

    BlockState block;
    InlineContext inlines;
    HeadingIds headingIds;  // the ids given on the page so far
    std::string heading;    // a heading's text, translated before its tag
};

// Reads every remaining line of the source and writes the page body to out,
// telling events what else it meets; closes every block and table still open
// at the end.
void convertBody(MarkupContext& ctx, LineSource& source, PageOutput& out, PageEvents& events);

// Closes the tags of the text left open, then the open paragraph, list or
// preformatted block.
void closeBlock(BlockState& st, OpenTags& tags, PageOutput& out);

// The length of the start of text that holds nothing the inline scan
// translates (in normal text, outside comments); with contentsWords, a "__"
// (which may begin a word about the table of contents) ends it too.
std::size_t plainLength(std::string_view text, bool contentsWords = false);
// The same in raw text (nowiki, preformatted): the start before a "<" or ">".
std::size_t rawPlainLength(std::string_view text);

// "<pre" or "<source" (any case) followed by a blank or ">".
bool isPreOpen(std::string_view text);
// "</pre" or "</source" (any case) followed by a blank or ">".
bool isPreClose(std::string_view text);
// An HTML tag that passes into the page unchanged; text starts at the "<".
bool isPassThroughTag(std::string_view text);

}  // namespace tarvo
