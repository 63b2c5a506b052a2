// The DOT files of one page's diagrams: stored in the run's work folder as
// the translation hands them over (or, for a page made on another thread,
// once the page is due, so that the run's files are written in page order),
// and handed on for their pictures. What goes wrong is kept as the page's
// troubles: the run goes on and fails at its end.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "markup/markup.h"
#include "page/outcome.h"
#include "page/page_context.h"

namespace tarvo {

// Where a page lies, for the pictures of its diagrams.
struct PagePlace {
    const platform::Folder& folder;  // the page's name is relative to it
    const WString& name;
    const WString& shown;  // the page's name as messages show it
    const WString& source;
};

class DotFiles final : public PageEvents {
public:
    // kept is the page's, read when a DOT file is stored. hold: the DOT files
    // are stored by storeHeld() rather than as they come.
    DotFiles(const ProtectedFiles& kept, PagePlace page, bool hold)
        : pageKept_(kept), page_(page), hold_(hold) {}

    // The run to store with from now on.
    void use(const PageContext& ctx) { ctx_.emplace(ctx); }

    void diagramClosed(std::string_view name, std::string_view text) override;
    // Stores what was held back, in the order it came.
    void storeHeld();
    // What went wrong so far, in the order it did; taken away.
    std::vector<Trouble> takeTroubles() { return std::exchange(troubles_, {}); }
    // The page is done: its folder stays open only while pictures wait for it.
    void letGo() { pageFolder_.reset(); }

private:
    Trouble store(std::string_view diagramName, std::string_view text);
    void addPicture(const WString& picture, const platform::Folder& dotFolder, const WString& dotName,
                    const WString& dotPath, bool dotWritten);

    std::optional<PageContext> ctx_;
    const ProtectedFiles& pageKept_;
    PagePlace page_;
    bool hold_;
    std::vector<std::pair<std::string, std::string>> held_;  // name, DOT text
    std::vector<Trouble> troubles_;
    bool pageFolderOpened_ = false;
    std::shared_ptr<const platform::Folder> pageFolder_;
    platform::FileIdentity pageFolderIdentity_;
};

}  // namespace tarvo
