// The tree a recursive walk goes through. Every file the walk converts is a
// source of the run, whether the walk has found it already or reaches it
// later: nothing the run writes may replace one.
#pragma once

#include <mutex>

#include "io/refusal.h"
#include "platform/platform.h"

namespace tarvo {

class WalkedTree final : public SourceRule {
public:
    // top: the folder the walk starts from; pattern: the names it converts
    // in every folder.
    WalkedTree(const platform::Folder& top, WString pattern);
    // True when the walk converts name in folder: the pattern matches it, it
    // is a file the walk does not skip (hidden, system), and the folder's
    // real location is the top's or lies below it, through no folder the
    // walk skips.
    bool converts(const platform::Folder& folder, const WString& name) const override;

private:
    bool reaches(const platform::Folder& folder) const;

    platform::Folder top_;
    platform::NativePath topLocation_;  // empty when the system does not say
    WString pattern_;
    // The folder asked about last and the answer: the pages of a run mostly
    // share a folder, whose location is then looked up once.
    mutable std::mutex mutex_;
    mutable platform::FileIdentity lastFolder_;
    mutable bool lastReached_ = false;
};

}  // namespace tarvo
