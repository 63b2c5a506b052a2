// The one way a run writes a file: pages, DOT files and pictures alike.
// Whether a name may be written is decided once, by folder handle, by the
// rules of io/refusal.h.
//
// The new content is compared with the stored file as it comes; a file whose
// content did not change is left in place (a page gets a new modification
// time). A replacement goes through a temporary that is renamed into place,
// so a failure never leaves a partial file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/page_output.h"
#include "io/refusal.h"
#include "io/written_files.h"
#include "platform/platform.h"

namespace tarvo {

class OutputFile final : public ByteSink {
public:
    enum class Outcome { Written, Unchanged, CantCreate, CantWrite };

    // Says whether name (relative to at; it may hold a folder part) may be
    // written as what `mine` describes, and prepares the comparison with the
    // stored file. The folder part is opened once: the decision and the
    // writing are made relative to that handle. Nothing on disk changes
    // before finish(). `at` must stay open until then.
    // atIdentity: the identity of at, when the caller knows it.
    Refusal open(const platform::Folder& at, const WString& name, const ProtectedFiles& kept, WrittenFiles& written,
                 WrittenFiles::Entry mine, const platform::FileIdentity& atIdentity = {});
    // When open() refused with EarlierPage: that page's source.
    const WString& earlierSource() const { return earlier_.source; }
    // True when, since open(), this run has written the file at the name (or
    // found it holding what it would write): a page made in parallel with
    // the one before it.
    bool writtenMeanwhile() const;

    // A page: takes the next bytes (with "\n" line ends), compared with the
    // stored bytes until the first difference, written from there on.
    void take(std::string_view bytes) override;
    // Puts the page in place, or leaves an unchanged page as it is with a new
    // modification time.
    Outcome finish();

    // A DOT file: its whole text, stored followed by one more line end unless
    // the stored file holds the same lines (then it is left untouched).
    Outcome storeDot(std::string_view text);

    // A picture: its bytes exactly as given, left in place with a new
    // modification time when the stored file holds the same bytes.
    Outcome storePicture(std::string_view bytes);

private:
    Outcome done(Outcome outcome);
    Outcome finishPage();
    Outcome storeDotText(std::string_view text);
    Outcome storePictureBytes(std::string_view bytes);
    bool create();
    bool diverge();
    Outcome recorded(Outcome outcome);

    platform::Folder ownFolder_;          // the folder part of the name, when it has one
    const platform::Folder* folder_ = nullptr;  // the folder of the file
    WString base_;                        // the file's name in it
    platform::FileStatus stored_;
    platform::ReadFile storedFile_;
    platform::ReplaceFile file_;
    WrittenFiles* written_ = nullptr;
    WrittenFiles::Entry mine_;
    WrittenFiles::Entry earlier_;
    std::uint64_t place_ = 0;             // WrittenFiles::placeOf the file
    std::uint64_t unplacedAtOpen_ = 0;    // WrittenFiles::unplacedWrites when open() began
    bool comparing_ = false;
    bool createFailed_ = false;
    bool writeFailed_ = false;
    std::uint64_t matched_ = 0;
    std::string expanded_;
};

}  // namespace tarvo
