#include "cli/command_line.h"

#include <optional>
#include <string_view>

#include "cli/batch_driver.h"
#include "platform/platform.h"
#include "text/utf.h"

namespace tarvo {

namespace {

// The value of -file or -gen as UTF-8, fullwidth ASCII folded as the source
// reader folds it.
std::string prefixBytes(const WString& value) { return utf8Of(value, {.foldFullwidth = true}); }

// What reading the command line does after an option.
enum class Next { ReadOn, Help, Version, EndOfOptions, BadValue };

// A whole number from 1 to most, or 0 when the text is no such number.
unsigned countOf(const WString& text, unsigned most) {
    unsigned n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9' || n > most) return 0;
        n = n * 10 + static_cast<unsigned>(c - u'0');
    }
    return n <= most ? n : 0;
}

// Seconds written as digits with an optional fraction ("30", "0.5"), more
// than 0 and at most a week; 0 when the text is no such number.
double secondsOf(const WString& text) {
    const std::size_t point = text.find(u'.');
    const WString whole = text.substr(0, point);
    const WString fraction = point == WString::npos ? WString() : text.substr(point + 1);
    if ((whole.empty() && fraction.empty()) || whole.size() > 6 || fraction.size() > 6) return 0;
    double seconds = 0, scale = 1;
    for (char16_t c : whole) {
        if (c < u'0' || c > u'9') return 0;
        seconds = seconds * 10 + (c - u'0');
    }
    for (char16_t c : fraction) {
        if (c < u'0' || c > u'9') return 0;
        seconds += (c - u'0') * (scale /= 10);
    }
    return seconds <= 7 * 24 * 3600 ? seconds : 0;
}

struct Option {
    std::u16string_view word;
    // Exact: only this word. Start: every word that starts with it.
    enum class Match { Exact, Start } match;
    bool takesValue;
    Next (*apply)(ConvertOptions& o, const WString& value);
};

// The options, looked up in this order; the first entry that matches a word
// applies. Words of the old single-letter kind are matched by their first
// two characters: "-rx" acts as "-r" and "+rr" as "+r", and any other word
// that starts like "-file", "-gen", "-test", "-tmpl" or "-wrk" ("-foo", or
// "-gen" as the last word, without its value) is accepted and ignored. Every
// other word that starts with "-" or "+" is an unknown option.
constexpr Option kOptions[] = {
    {u"--", Option::Match::Exact, false, [](ConvertOptions&, const WString&) { return Next::EndOfOptions; }},
    {u"--help", Option::Match::Exact, false, [](ConvertOptions&, const WString&) { return Next::Help; }},
    {u"-h", Option::Match::Exact, false, [](ConvertOptions&, const WString&) { return Next::Help; }},
    {u"--version", Option::Match::Exact, false, [](ConvertOptions&, const WString&) { return Next::Version; }},
    {u"--check-links", Option::Match::Exact, false,
     [](ConvertOptions& o, const WString&) { o.checkLinks = true; return Next::ReadOn; }},
    {u"--svg", Option::Match::Exact, false,
     [](ConvertOptions& o, const WString&) { o.svg = true; return Next::ReadOn; }},
    {u"--safe", Option::Match::Exact, false,
     [](ConvertOptions& o, const WString&) { o.safe = true; return Next::ReadOn; }},
    {u"--html5", Option::Match::Exact, false,
     [](ConvertOptions& o, const WString&) { o.html5 = true; return Next::ReadOn; }},
    {u"--toc", Option::Match::Exact, false,
     [](ConvertOptions& o, const WString&) { o.toc = true; return Next::ReadOn; }},
    {u"--keep-tree", Option::Match::Exact, false,
     [](ConvertOptions& o, const WString&) { o.keepTree = true; return Next::ReadOn; }},
    {u"--dot", Option::Match::Exact, true,
     [](ConvertOptions& o, const WString& v) { o.dotProgram = v; return Next::ReadOn; }},
    {u"--dot-timeout", Option::Match::Exact, true,
     [](ConvertOptions& o, const WString& v) {
         o.dotTimeout = secondsOf(v);
         return o.dotTimeout > 0 ? Next::ReadOn : Next::BadValue;
     }},
    {u"--jobs", Option::Match::Exact, true,
     [](ConvertOptions& o, const WString& v) {
         o.jobs = countOf(v, 1024);
         return o.jobs > 0 ? Next::ReadOn : Next::BadValue;
     }},
    {u"+r", Option::Match::Start, false,
     [](ConvertOptions& o, const WString&) { o.recursive = true; return Next::ReadOn; }},
    {u"-r", Option::Match::Start, false,
     [](ConvertOptions& o, const WString&) { o.recursive = false; return Next::ReadOn; }},
    // -file also sets the picture prefix while -gen has not set one.
    {u"-file", Option::Match::Exact, true,
     [](ConvertOptions& o, const WString& v) {
         o.filePrefix = prefixBytes(v);
         if (o.genPrefix.empty()) o.genPrefix = o.filePrefix;
         return Next::ReadOn;
     }},
    {u"-gen", Option::Match::Exact, true,
     [](ConvertOptions& o, const WString& v) { o.genPrefix = prefixBytes(v); return Next::ReadOn; }},
    {u"-test", Option::Match::Exact, false,
     [](ConvertOptions& o, const WString&) { o.testMode = true; return Next::ReadOn; }},
    {u"-tmpl", Option::Match::Exact, true,
     [](ConvertOptions& o, const WString& v) { o.templateName = v; return Next::ReadOn; }},
    {u"-wrk", Option::Match::Exact, true,
     [](ConvertOptions& o, const WString& v) { o.workDir = v; return Next::ReadOn; }},
    {u"-f", Option::Match::Start, false, [](ConvertOptions&, const WString&) { return Next::ReadOn; }},
    {u"-g", Option::Match::Start, false, [](ConvertOptions&, const WString&) { return Next::ReadOn; }},
    {u"-t", Option::Match::Start, false, [](ConvertOptions&, const WString&) { return Next::ReadOn; }},
    {u"-w", Option::Match::Start, false, [](ConvertOptions&, const WString&) { return Next::ReadOn; }},
};

// The entry for the word at args[i], or nullptr for an unknown option.
const Option* findOption(const std::vector<WString>& args, std::size_t i) {
    const std::u16string_view word = args[i];
    const bool hasValue = i + 1 < args.size();
    for (const Option& option : kOptions) {
        const bool matches = option.match == Option::Match::Exact
                                 ? word == option.word && (hasValue || !option.takesValue)
                                 : word.substr(0, option.word.size()) == option.word;
        if (matches) return &option;
    }
    return nullptr;
}

// The command line read from left to right: the options into o, the file
// names, and what ended the reading early, if anything.
struct Reading {
    enum class End { Names, TooMany, Unknown, BadValue, Help, Version } end = End::Names;
    std::optional<WString> input, output;
    std::size_t at = 0;  // the word that ended it
    bool dash = false;   // a lone "-" names standard input or output, also among too many names
};

Reading readWords(ConvertOptions& o, const std::vector<WString>& args) {
    Reading r;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const WString& arg = args[i];
        r.at = i;
        // A lone "-" stands for standard input or output.
        if (optionsEnded || arg.empty() || arg == u"-" || (arg[0] != u'-' && arg[0] != u'+')) {
            r.dash = r.dash || arg == u"-";
            if (!r.input) r.input = arg;
            else if (!r.output) r.output = arg;
            else {
                // What is said about the names goes where a run with "-" says it.
                for (std::size_t j = i + 1; j < args.size(); ++j) r.dash = r.dash || args[j] == u"-";
                return r.end = Reading::End::TooMany, r;
            }
            continue;
        }
        const Option* option = findOption(args, i);
        if (!option) return r.end = Reading::End::Unknown, r;
        const WString noValue;
        switch (option->apply(o, option->takesValue ? args[++i] : noValue)) {
            case Next::ReadOn: break;
            case Next::BadValue: return r.end = Reading::End::BadValue, r;
            case Next::EndOfOptions: optionsEnded = true; break;
            case Next::Help: return r.end = Reading::End::Help, r;
            case Next::Version: return r.end = Reading::End::Version, r;
        }
    }
    return r;
}

// A run through standard input or output converts one page and nothing
// else: no walk, no pattern, no comparison, nothing beside the page.
bool streamsAllowed(const ConvertOptions& o, const Reading& r) {
    const bool plainInput = r.input->find_first_of(u"*?") == WString::npos;
    const bool pageToOutput = !r.output || *r.output == u"-";
    return plainInput && pageToOutput && !o.recursive && !o.testMode && !o.svg && !o.checkLinks;
}

}  // namespace

int runCommandLine(Report& report, const std::vector<WString>& args) {
    ConvertOptions options;
    const Reading r = readWords(options, args);
    const bool streams = r.dash;
    // Standard output carries the page: everything else goes to standard error.
    if (streams) report.keepStandardOutputForThePage();
    report.banner();
    if (args.size() < 2) {
        report.usage();
        return 1;
    }
    switch (r.end) {
        case Reading::End::Names: break;
        case Reading::End::TooMany:
            report.tooManyFilenames();
            report.quoteTheWildcard();
            return 2;
        case Reading::End::Unknown: report.unknownOption(args[r.at]); return 1;
        case Reading::End::BadValue: report.badOptionValue(args[r.at], args[r.at + 1]); return 1;
        case Reading::End::Help: report.help(); return 0;
        case Reading::End::Version: return 0;  // the banner line already printed is the version
    }
    if (!r.input) {
        report.noInputFilename();
        return 1;
    }
    if (!streams) return convertPath(options, report, *r.input, r.output);
    if (!streamsAllowed(options, r)) {
        report.streamsMisused();
        return 2;
    }
    return convertStream(options, report, *r.input);
}

}  // namespace tarvo
