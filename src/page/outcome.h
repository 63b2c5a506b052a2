// What went wrong in a run, as values: the step that meets it returns it and
// goes no further; the run decides what follows (stop, or go on and fail at
// the end) and says it (page/report.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/refusal.h"
#include "platform/process.h"
#include "text/utf.h"

namespace tarvo {

// What went wrong in a step of a page.
struct Trouble {
    enum class Kind : std::uint8_t {
        None,
        CantOpenSource,         // path: the source
        CantRead,               // path: the source or the template; a read failed before its end
        CantOpenStored,         // path: the stored page test mode compares with
        CantOpenTemplate,       // path: the template
        TemplateWithoutMarker,  // path: the template
        CantCreate,             // path: the page or DOT file; why, and earlierSource for EarlierPage
        CantWrite,              // path: the page or DOT file
    };
    Kind kind = Kind::None;
    WString path;
    Refusal why = Refusal::None;
    WString earlierSource;

    explicit operator bool() const { return kind != Kind::None; }
};

// What test mode's comparison of a page found. The lines it shows are cut
// after kShown bytes, which are followed by "...".
struct Verdict {
    static constexpr std::size_t kShown = 300;
    enum class Kind : std::uint8_t {
        Same,
        Differs,           // at line: stored and generated are that line in each
        TooMuchGenerated,  // the stored page has only `line` lines; extra holds the generated lines past them
        LessGenerated,     // the stored page has more than `line` lines
    };
    Kind kind = Kind::Same;
    unsigned line = 0;
    std::string stored, generated;
    std::vector<std::string> extra;
};

// What became of one picture (--svg), told after the last page.
struct PictureTrouble {
    enum class Kind { Refused, NotWritten, NotRendered, NoPicture, OutOfDate } kind;
    WString picture;  // as messages show it
    WString source;   // the source of the page that shows it
    Refusal why = Refusal::None;
    WString earlierSource;  // for Refusal::EarlierPage
    platform::ProcessResult process;  // for NotRendered: how dot ended, what it said
};

}  // namespace tarvo
