// Every message the program prints goes through one Report, and only the top
// of the program (the command line, the run) calls it: the steps below return
// what happened as values (page/outcome.h). The console rules:
// 1. Messages go to standard output; "unknown option", "bad value for" and
//    "No file (or directory)" go to standard error. With "-" the page takes
//    standard output and every message goes to standard error.
// 2. A page's line starts with "Handling a -> b" ("Comparing a -> b" in test
//    mode) and has no line end yet; what goes wrong while that page is made
//    (a DOT file, the page's write, a difference) follows on the same line,
//    and only a page that is done ends it.
// 3. A failure before a page's line begins ("Can't open a", "Can't create b
//    (...)") ends no line either; the run stops after it.
// 4. The banner, the usage, and the messages of the walk end their lines.
// 5. After the last page (on a new line if one was left open) come the
//    pictures' troubles in the order of their diagrams, then, unless the run
//    stopped, the links that lead nowhere; one line each.
// 6. Standard output goes out as its lines end when it is a terminal, else in
//    large pieces; what it holds goes out before anything on standard error,
//    so the two keep their order.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "io/refusal.h"
#include "page/outcome.h"
#include "platform/process.h"

namespace tarvo {

// Where the messages go: the process's standard output and standard error,
// or whatever a test puts in their place.
class Console {
public:
    // True when every byte went out.
    virtual bool out(std::string_view bytes) = 0;
    virtual void err(std::string_view bytes) = 0;
    // Someone may watch standard output: lines go out as they end.
    virtual bool outIsTerminal() const = 0;

protected:
    ~Console() = default;
};

// The process's own standard output and standard error.
Console& systemConsole();

// What became of one picture (--svg), told after the last page.
struct PictureTrouble {
    enum class Kind { Refused, NotWritten, NotRendered, OutOfDate } kind;
    WString picture;  // as messages show it
    WString source;   // the source of the page that shows it
    Refusal why = Refusal::None;
    WString earlierSource;  // for Refusal::EarlierPage
    platform::ProcessResult process;  // for NotRendered: how dot ended, what it said
};

class Report {
public:
    explicit Report(Console& console = systemConsole()) : console_(console) {}
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;
    ~Report() { flush(); }

    // The page itself goes to standard output: messages meant for standard
    // output go to standard error instead.
    void keepStandardOutputForThePage() { toStandardError_ = true; }
    // Standard output is written whenever flush() is called (or much has
    // gathered), even on a terminal: a run on several threads lets the lines
    // of a batch of pages out at once.
    void gatherLines() { gatherLines_ = true; }
    // Someone may be watching standard output (a terminal).
    bool watched() const { return console_.outIsTerminal(); }
    // Writes out what standard output holds back.
    void flush();

    // ---- the command line and the walk ----
    void banner();
    void usage();
    void help();
    void tooManyFilenames();
    void streamsMisused();
    void noInputFilename();
    void unknownOption(const WString& word);
    void badOptionValue(const WString& option, const WString& value);
    void noMatch(const WString& pathPattern);
    void cantOpenFolder(const WString& path);

    // ---- a page ----
    void pageStarts(bool comparing, const WString& source, const WString& page);
    // A page's step went wrong: on the page's line when it has begun.
    void trouble(const Trouble& trouble);
    void pageDone();
    // Test mode: what the comparison found (" - OK" ends the line).
    void verdict(const Verdict& verdict, const WString& source, const WString& page);

    // ---- the diagrams' pictures ----
    void noDotProgram(const WString& program);
    void picturePrefixOutside(std::string_view genPrefix);
    // Ends the line a page left open, if any.
    void endOpenLine();
    void picture(const PictureTrouble& trouble, double timeoutSeconds);

    // ---- the check of links, after the run ----
    void brokenLink(const WString& source, std::string_view target);

private:
    void out(std::initializer_list<std::string_view> parts);
    void err(std::initializer_list<std::string_view> parts);
    void cantCreate(const WString& path, Refusal why, const WString& earlierSource, std::string_view end);
    void cantRender(const PictureTrouble& trouble, double timeoutSeconds);

    Console& console_;
    bool toStandardError_ = false;
    bool gatherLines_ = false;
    // Standard output is written a whole console line at a time: a page's
    // line goes out in one piece when it ends.
    std::string pending_;
    bool lineOpen_ = false;  // the last message left its line open
};

}  // namespace tarvo
