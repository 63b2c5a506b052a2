#include "page/report.h"

#include <cstdio>
#include <iterator>
#include <string>

#include "version.h"

namespace tarvo {

namespace {

std::string bytes(const WString& name) { return platform::toUtf8Bytes(name); }

// The bracket that follows "Can't create %s".
std::string_view reason(Refusal why) {
    switch (why) {
        case Refusal::None:
        case Refusal::Unwritable:
        case Refusal::Outside: return "";
        case Refusal::Source: return " (it is the source file)";
        case Refusal::Template: return " (it is the template file)";
        case Refusal::OtherSource: return " (it is a source file)";
        case Refusal::EarlierPage: return " (it is the page of ";
        case Refusal::OtherDiagram: return " (another diagram of this run wrote it)";
        case Refusal::Link: return " (it is a symbolic link)";
        case Refusal::Folder: return " (it is a folder)";
        case Refusal::NotRegular: return " (it is not a regular file)";
    }
    return "";
}

// Held back at most: a message with a long line in it goes out in its parts,
// never copied into one string.
constexpr std::size_t kHold = 64 * 1024;

std::size_t sizeOf(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    return size;
}

}  // namespace

namespace {

class SystemConsole final : public Console {
public:
    bool out(std::string_view bytes) override { return platform::writeOut(bytes); }
    void err(std::string_view bytes) override { platform::writeErr(bytes); }
    bool outIsTerminal() const override { return platform::outputIsTerminal(); }
};

}  // namespace

Console& systemConsole() {
    static SystemConsole console;
    return console;
}

void Report::flush() {
    if (pending_.empty()) return;
    console_.out(pending_);
    pending_.clear();
}

void Report::out(std::initializer_list<std::string_view> parts) {
    for (auto part = std::rbegin(parts); part != std::rend(parts); ++part) {
        if (part->empty()) continue;
        lineOpen_ = part->back() != '\n';
        break;
    }
    if (toStandardError_) return err(parts);
    if (pending_.size() + sizeOf(parts) > kHold) {
        flush();
        for (std::string_view part : parts) console_.out(part);
        return;
    }
    for (std::string_view part : parts) pending_ += part;
    if (pending_.back() == '\n' && !gatherLines_) flush();
}

void Report::err(std::initializer_list<std::string_view> parts) {
    flush();
    if (sizeOf(parts) > kHold) {
        for (std::string_view part : parts) console_.err(part);
        return;
    }
    std::string text;
    for (std::string_view part : parts) text += part;
    console_.err(text);
}

// ---- the command line and the walk ----

void Report::banner() { out({kBanner}); }

void Report::usage() {
    out({"usage: Tarvo [options] <inFilename> [<outFilename>]\n"
         "\t+r recursive (default is non recursive -r)\n"
         "\t-file <prefix> - prefix to put in [[file:...]] items\n"
         "\t-tmpl <templateName> - template to use for html generation\n"});
}

// The usage lines, then the options they leave out.
void Report::help() {
    usage();
    out({"\t-gen <prefix> - prefix to put in front of diagram picture names\n"
         "\t-wrk <prefix> - prefix to put in front of the DOT files written\n"
         "\t-test - compare with the stored pages instead of writing them\n"
         "\t--svg - make the missing or out-of-date diagram pictures with Graphviz\n"
         "\t--dot <program> - the Graphviz dot program (default: dot on PATH)\n"
         "\t--dot-timeout <seconds> - stop a picture's dot after this (default 30)\n"
         "\t--jobs <n> - pages and pictures at once (default: one per processor)\n"
         "\t--check-links - report the links and images that lead nowhere\n"
         "\t--safe - drop the HTML attributes and addresses that could run script,\n"
         "\t\tfor text from anyone; else a page runs what its author wrote\n"
         "\t--html5 - HTML5 pages titled with their names (a template's\n"
         "\t\t{{PAGENAME}}), ids on the headings that #fragments land on\n"
         "\t--toc - a table of contents on pages with four or more headings\n"
         "\t\t(__TOC__ places it, __FORCETOC__ and __NOTOC__ decide)\n"
         "\t--keep-tree - with +r and an output folder: each page in the\n"
         "\t\tfolder of its source below the first (else side by side)\n"
         "\t- - the page from standard input, or (as output) to standard output\n"
         "\t-- - later words are file names, even those starting with - or +\n"
         "\t-h, --help - print this help and exit\n"
         "\t--version - print the version line and exit\n"
         "See \"man tarvo\" for the full description.\n"});
}

void Report::tooManyFilenames() {
    out({"*** Error: too many filenames!\n"});
    usage();
}

void Report::streamsMisused() {
    out({"*** Error: - converts one page: no +r, -test, --svg, --check-links, wildcard or output file with it\n"});
    usage();
}

void Report::noInputFilename() {
    out({"*** Error: no input filename!\n"});
    usage();
}

void Report::unknownOption(const WString& word) { err({"unknown option ", bytes(word), "\n"}); }

void Report::badOptionValue(const WString& option, const WString& value) {
    err({"bad value for ", bytes(option), ": ", bytes(value), "\n"});
}

void Report::noMatch(const WString& pathPattern) { err({"No file (or directory) <", bytes(pathPattern), "> \n"}); }

void Report::cantOpenFolder(const WString& path) { out({"Can't open ", bytes(path), "\n"}); }

void Report::sourceIsAFolder(const WString& folder) {
    // The pattern as a shell takes it, in single quotes.
    std::string quoted;
    for (const char c : bytes(folder)) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    err({"Note: ", bytes(folder), " is a folder; to convert its pages and those below it: tarvo +r '", quoted,
         "/*.wiki'\n"});
}

void Report::nothingMatchesBelow(const WString& pathPattern, const WString& folder) {
    err({"Note: no file matches <", bytes(pathPattern), "> in ", folder.empty() ? "./" : bytes(folder), " or below\n"});
}

void Report::quoteTheWildcard() {
    err({"Note: quote a wildcard so that Tarvo, not the shell, expands it: tarvo +r 'docs/*.wiki' site/\n"});
}

// ---- a page ----

void Report::pageStarts(bool comparing, const WString& source, const WString& page) {
    out({comparing ? "Comparing " : "Handling ", bytes(source), " -> ", bytes(page)});
}

void Report::trouble(const Trouble& t) {
    using Kind = Trouble::Kind;
    switch (t.kind) {
        case Kind::None: break;
        case Kind::CantOpenSource: out({"Can't open ", bytes(t.path)}); break;
        case Kind::CantRead: out({"Can't read ", bytes(t.path)}); break;
        case Kind::CantOpenStored: out({"Can't open ", bytes(t.path), " (for comparison)"}); break;
        case Kind::CantOpenTemplate: out({"Can't open template ", bytes(t.path)}); break;
        case Kind::TemplateWithoutMarker: out({"Can't find line *******body******* in file ", bytes(t.path)}); break;
        case Kind::CantCreate: cantCreate(t.path, t.why, t.earlierSource, ""); break;
        case Kind::CantWrite: out({"Can't write ", bytes(t.path)}); break;
    }
}

void Report::cantCreate(const WString& path, Refusal why, const WString& earlierSource, std::string_view end) {
    if (why == Refusal::EarlierPage) out({"Can't create ", bytes(path), reason(why), bytes(earlierSource), ")", end});
    else out({"Can't create ", bytes(path), reason(why), end});
}

void Report::pageDone() { out({"\n"}); }

void Report::verdict(const Verdict& v, const WString& source, const WString& page) {
    switch (v.kind) {
        case Verdict::Kind::Same: out({" - OK\n"}); break;
        case Verdict::Kind::Differs:
            out({"******* Error: there is difference at line ", std::to_string(v.line), " in ", bytes(source),
                 " != ", bytes(page), "\n expected: ", v.stored, "\ngenerated: ", v.generated, "\n"});
            break;
        case Verdict::Kind::TooMuchGenerated:
            out({"******* Error: too much data was generated (file ", bytes(page), " contains only ",
                 std::to_string(v.line), " lines)\n"});
            for (const std::string& line : v.extra) out({"generated: ", line, "\n"});
            break;
        case Verdict::Kind::LessGenerated:
            out({"******* Error: less data was generated (file ", bytes(page), " contains more than ",
                 std::to_string(v.line), " lines)\n"});
            break;
    }
}

// ---- the diagrams' pictures ----

void Report::noDotProgram(const WString& program) {
    out({"Can't find the Graphviz program ", bytes(program), " (install Graphviz, or name the program with --dot)\n"});
}

void Report::picturePrefixOutside(std::string_view genPrefix) {
    out({"Can't make pictures under ", genPrefix,
         " (the picture prefix must stay inside the output folder: not absolute, no \"..\", no scheme such as "
         "\"https:\")\n"});
}

void Report::endOpenLine() {
    if (lineOpen_) out({"\n"});
}

void Report::picture(const PictureTrouble& t, double timeoutSeconds) {
    switch (t.kind) {
        case PictureTrouble::Kind::Refused: cantCreate(t.picture, t.why, t.earlierSource, "\n"); break;
        case PictureTrouble::Kind::NotWritten: out({"Can't write ", bytes(t.picture), "\n"}); break;
        case PictureTrouble::Kind::NotRendered: cantRender(t, timeoutSeconds); break;
        case PictureTrouble::Kind::NoPicture:
            out({"Can't render ", bytes(t.picture), " (dot wrote no picture)\n"});
            break;
        case PictureTrouble::Kind::OutOfDate: out({"Picture ", bytes(t.picture), " is out of date\n"}); break;
    }
}

// Graphviz's own lines, indented, then how dot ended when its lines do not
// say it.
void Report::cantRender(const PictureTrouble& t, double timeoutSeconds) {
    const platform::ProcessResult& dot = t.process;
    out({"Can't render ", bytes(t.picture), " (", bytes(t.source), ")\n"});
    bool said = false;
    std::string_view text = dot.err;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        out({"  ", line, "\n"});
        said = true;
    }
    using End = platform::ProcessResult::End;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", timeoutSeconds);
    switch (dot.end) {
        case End::Exited:
            if (!said) out({"  (dot ended with exit status ", std::to_string(dot.code), ")\n"});
            break;
        case End::Signalled: out({"  (dot was ended by signal ", std::to_string(dot.code), ")\n"}); break;
        case End::TimedOut: out({"  (dot was stopped after ", seconds, " s)\n"}); break;
        case End::TooMuchOutput: out({"  (dot was stopped: the picture was too large)\n"}); break;
        case End::CantStart: out({"  (dot could not be started)\n"}); break;
    }
}

// ---- the check of links, after the run ----

void Report::brokenLink(const WString& source, std::string_view target, const WString& folder) {
    if (folder.empty()) out({"Broken link in ", bytes(source), ": ", target, "\n"});
    else out({"Broken link in ", bytes(source), ": ", target, " (pages in ", bytes(folder), ")\n"});
}

void Report::brokenLinksCounted(std::size_t links, std::size_t pages) {
    out({std::to_string(links), links == 1 ? " broken link in " : " broken links in ", std::to_string(pages),
         pages == 1 ? " page\n" : " pages\n"});
}

}  // namespace tarvo
