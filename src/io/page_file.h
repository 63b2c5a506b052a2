// The file of one page in normal mode. While the page is generated it is
// compared with the page already stored under its name; a replacement is
// written (through a hidden temporary that is renamed into place) only from
// the first difference on. A page whose bytes did not change keeps its file
// and gets a new modification time, as if it had been written again. Either
// way a failed conversion never leaves a partial page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tarvo {

class PageFile {
public:
    enum class Result { Ok, CantCreate, CantWrite };

    // False when the page cannot be created. The name is relative to at,
    // which must stay open until finish(); the caller has made sure that it
    // may be written (refusalToWrite).
    bool open(const platform::Folder& at, const WString& name);
    bool open(const WString& name) { return open(platform::currentFolder(), name); }
    // Takes the next bytes of the page (with "\n" line ends). False once the
    // page could not be created or written.
    bool write(std::string_view text);
    // Puts the page in place, or leaves an unchanged page as it is.
    Result finish();

private:
    bool diverge();

    const platform::Folder* folder_ = nullptr;
    WString name_;
    platform::ReadFile stored_;
    platform::ReplaceFile file_;
    bool comparing_ = false;
    bool createFailed_ = false;
    bool writeFailed_ = false;
    std::uint64_t matched_ = 0;
    std::string expanded_;
};

}  // namespace tarvo
