#include "page/dot_files.h"

#include "diagram/diagram.h"
#include "io/output_file.h"

namespace tarvo {

namespace {

// A diagram's name (bytes of the page) as a file name: "?" for what is not
// UTF-8.
WString fileNameOf(std::string_view bytes) {
    WString name;
    appendUtf8AsUtf16(name, static_cast<long>(bytes.size()), bytes.data());
    return name;
}

}  // namespace

void DotFiles::diagramClosed(std::string_view name, std::string_view text) {
    if (hold_) {
        held_.emplace_back(name, text);
        return;
    }
    if (Trouble trouble = store(name, text)) troubles_.push_back(std::move(trouble));
}

void DotFiles::storeHeld() {
    hold_ = false;
    for (const auto& [name, text] : held_) diagramClosed(name, text);
    held_.clear();
}

Trouble DotFiles::store(std::string_view diagramName, std::string_view text) {
    const PageContext& ctx = *ctx_;
    PageShared& run = ctx.shared;
    const WString name = fileNameOf(diagramName);
    const WString path = ctx.options.workDir + name + u".dot";
    // The name of the file in the work folder, and the folder it lies in
    // there, opened without ever leaving the work folder.
    const WString inWork = path.substr(platform::folderPart(ctx.options.workDir).size());
    const WString folderPart = platform::folderPart(inWork);
    platform::Folder below;
    const bool inside = run.workFolder && !platform::escapesDirectory(name) &&
                        (folderPart.empty() || below.openBeneath(*run.workFolder, folderPart));
    if (!inside) return Trouble{Trouble::Kind::CantCreate, path, Refusal::Outside, {}};
    const platform::Folder& folder = folderPart.empty() ? *run.workFolder : below;
    const WString nameThere = inWork.substr(folderPart.size());
    OutputFile file;
    if (const Refusal why = file.open(folder, nameThere, pageKept_, run.written, {false, {}, std::string(text)});
        why != Refusal::None)
        return Trouble{Trouble::Kind::CantCreate, path, why, file.earlierSource()};
    switch (const OutputFile::Outcome outcome = file.storeDot(text)) {
        case OutputFile::Outcome::Written:
        case OutputFile::Outcome::Unchanged:
            if (run.pictures) {
                const std::string& genPrefix = ctx.options.markup.genPrefix;
                addPicture(fileNameOf(pictureName(genPrefix, diagramName)), folder, nameThere, path,
                           outcome == OutputFile::Outcome::Written);
            }
            return {};
        case OutputFile::Outcome::CantCreate: return Trouble{Trouble::Kind::CantCreate, path, Refusal::Unwritable, {}};
        case OutputFile::Outcome::CantWrite: return Trouble{Trouble::Kind::CantWrite, path, Refusal::None, {}};
    }
    return {};
}

// The picture the page shows for the diagram, in the page's folder, which is
// opened once for all of them.
void DotFiles::addPicture(const WString& picture, const platform::Folder& dotFolder, const WString& dotName,
                          const WString& dotPath, bool dotWritten) {
    if (!pageFolderOpened_) {
        pageFolderOpened_ = true;
        auto folder = std::make_shared<platform::Folder>();
        if (folder->open(page_.folder, platform::folderPart(page_.name))) {
            pageFolderIdentity_ = platform::identify(*folder, WString());
            pageFolder_ = std::move(folder);
        }
    }
    ctx_->shared.pictures->add(DiagramOnPage{pageFolder_, pageFolderIdentity_, platform::folderPart(page_.shown),
                                             picture, page_.source, &pageKept_, &dotFolder, dotName, dotPath,
                                             dotWritten});
}

}  // namespace tarvo
