// What a run may replace, decided in one place for pages, DOT files and
// pictures alike:
//
// - only a missing name or a regular file: never a link, a folder, a device
//   or anything else in its place;
// - never the page's source, the template, another source of the run, or a
//   file a recursive walk converts, whether it has come to it yet or not;
// - never a file this run has already written, unless it is the same diagram
//   again (WrittenFiles).
#pragma once

#include <cstdint>
#include <vector>

#include "io/written_files.h"
#include "platform/platform.h"

namespace tarvo {

// Why a file may not be written. The reporter turns it into text.
enum class Refusal : std::uint8_t {
    None,
    Unwritable,     // the system refuses: a missing folder, no permission
    Outside,        // the name leads out of the folder it must stay in
    Source,         // the page's own source
    Template,       // the template of the run
    OtherSource,    // another source of the run
    EarlierPage,    // the page of an earlier source of this run
    OtherDiagram,   // written by a diagram of this run with other content
    Link,
    Folder,
    NotRegular,
};

// The files a walk converts, as far as it can tell without walking there.
class SourceRule {
public:
    // True when the walk converts (or has converted) the file name in folder.
    virtual bool converts(const platform::Folder& folder, const WString& name) const = 0;
    virtual ~SourceRule() = default;
};

// Files that nothing written for the current page may replace.
struct ProtectedFiles {
    platform::FileIdentity source;
    platform::FileIdentity templateFile;
    // Further sources of the run (sorted); a page never replaces one.
    const std::vector<platform::FileIdentity>* otherSources = nullptr;
    // The files a recursive walk converts.
    const SourceRule* walked = nullptr;
};

// Why the file that `stored` describes (at name in folder) may not be
// replaced by what `mine` describes, or Refusal::None. For EarlierPage,
// earlier is the entry of the page that holds it. written may be null: then
// what this run wrote is not asked.
Refusal refusalOf(const platform::FileStatus& stored, const platform::Folder& folder, const WString& name,
                  const ProtectedFiles& kept, const WrittenFiles* written, const WrittenFiles::Entry& mine,
                  WrittenFiles::Entry& earlier);

}  // namespace tarvo
