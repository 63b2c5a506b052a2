#include "io/refusal.h"

#include <algorithm>

namespace tarvo {

namespace {

Refusal refusalOfKind(platform::FileKind kind) {
    switch (kind) {
        case platform::FileKind::Missing:
        case platform::FileKind::Regular: return Refusal::None;
        case platform::FileKind::Link: return Refusal::Link;
        case platform::FileKind::Directory: return Refusal::Folder;
        case platform::FileKind::Other: return Refusal::NotRegular;
    }
    return Refusal::NotRegular;
}

}  // namespace

Refusal refusalOf(const platform::FileStatus& stored, const platform::Folder& folder, const WString& name,
                  const ProtectedFiles& kept, const WrittenFiles* written, const WrittenFiles::Entry& mine,
                  WrittenFiles::Entry& earlier) {
    const platform::FileIdentity& id = stored.identity;
    if (id == kept.source) return Refusal::Source;
    if (id == kept.templateFile) return Refusal::Template;
    if (id.exists && kept.otherSources && std::binary_search(kept.otherSources->begin(), kept.otherSources->end(), id))
        return Refusal::OtherSource;
    // What this run wrote stays, unless the same diagram comes again.
    if (written && written->find(stored, earlier) && (earlier.page || mine.page || earlier.content != mine.content))
        return earlier.page ? Refusal::EarlierPage : Refusal::OtherDiagram;
    if (const Refusal why = refusalOfKind(stored.kind); why != Refusal::None) return why;
    if (stored.kind == platform::FileKind::Regular && kept.walked && kept.walked->converts(folder, name))
        return Refusal::OtherSource;
    return Refusal::None;
}

}  // namespace tarvo
