#include "page/page_converter.h"

#include <utility>

#include "page/compare_mode.h"
#include "text/ascii.h"

namespace tarvo {

namespace {

constexpr std::string_view kPageHead =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01\">\n"
    "<html><head>\n"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\">\n"
    "<link rel=\"stylesheet\" href=\"tarvo.css\" type=\"text/css\">\n"
    "</head><body>\n";

constexpr std::string_view kPageFoot =
    "<hr/>\n"
    "<div align=\"right\"><small><a href=\"man:tarvo(1)\">Created with Tarvo</a></small></div>\n"
    "</body></html>\n";

constexpr std::string_view kBodyMarker = "*******body*******";

// Where a page lies, for the pictures of its diagrams.
struct PagePlace {
    const platform::Folder& folder;  // the page's name is relative to it
    const WString& name;
    const WString& shown;  // the page's name as messages show it
    const WString& source;
};

// The DOT files of one page's diagrams, stored in the run's work folder as
// the translation hands them over, and handed on for their pictures.
class DotFiles final : public DiagramSink {
public:
    DotFiles(PageContext& ctx, const KeptFiles& kept, PagePlace page)
        : ctx_(ctx), kept_{kept.source, kept.templateFile, nullptr}, pageKept_(kept), page_(page) {}

    void storeDiagram(std::string_view name, std::string_view text) override {
        WString wideName;
        appendUtf8AsUtf16(wideName, static_cast<long>(name.size()), name.data());
        const WString path = ctx_.options.workDir + wideName + u".dot";
        if (store(wideName, path, text) != 0) ctx_.run.failAtEnd = true;
    }

private:
    // 0 when the DOT file holds the text now, else 1 after the failure was
    // reported.
    int store(const WString& name, const WString& path, std::string_view text) {
        RunState& run = ctx_.run;
        // The name of the file in the work folder, and the folder it lies in
        // there, opened without ever leaving the work folder.
        const WString inWork = path.substr(platform::folderPart(ctx_.options.workDir).size());
        const WString folderPart = platform::folderPart(inWork);
        platform::Folder below;
        const bool inside = run.workFolderOpen && !platform::escapesDirectory(name) &&
                            (folderPart.empty() || below.openBeneath(run.workFolder, folderPart));
        const platform::Folder& folder = folderPart.empty() ? run.workFolder : below;
        const WString nameThere = inWork.substr(folderPart.size());
        OutputFile file;
        const Refusal why =
            inside ? file.open(folder, nameThere, kept_, run.written, {false, {}, std::string(text)}) : Refusal::Outside;
        if (why != Refusal::None) {
            ctx_.report.cantCreate(path, why, file.earlierSource());
            return 1;
        }
        switch (const OutputFile::Outcome outcome = file.store(text)) {
            case OutputFile::Outcome::Written:
            case OutputFile::Outcome::Unchanged:
                if (run.pictures) addPicture(name, folder, nameThere, path, outcome == OutputFile::Outcome::Written);
                return 0;
            case OutputFile::Outcome::CantCreate: ctx_.report.cantCreate(path, Refusal::Unwritable); return 1;
            case OutputFile::Outcome::CantWrite: ctx_.report.cantWrite(path); return 1;
        }
        return 1;
    }

    // The picture the page shows for the diagram: genPrefix + name + ".svg"
    // in the page's folder, which is opened once for all of them.
    void addPicture(const WString& name, const platform::Folder& dotFolder, const WString& dotName,
                    const WString& dotPath, bool dotWritten) {
        if (!pageFolderOpened_) {
            pageFolderOpened_ = true;
            auto folder = std::make_shared<platform::Folder>();
            if (folder->open(page_.folder, platform::folderPart(page_.name))) {
                pageFolderIdentity_ = platform::identify(*folder, WString());
                pageFolder_ = std::move(folder);
            }
        }
        const std::string& genPrefix = ctx_.options.markup.genPrefix;
        WString picture;
        appendUtf8AsUtf16(picture, static_cast<long>(genPrefix.size()), genPrefix.data());
        ctx_.run.pictures->add(DiagramOnPage{pageFolder_, pageFolderIdentity_, platform::folderPart(page_.shown),
                                             picture + name + u".svg", page_.source, &pageKept_, &dotFolder, dotName,
                                             dotPath, dotWritten});
    }

    PageContext& ctx_;
    KeptFiles kept_;
    const KeptFiles& pageKept_;
    PagePlace page_;
    bool pageFolderOpened_ = false;
    std::shared_ptr<const platform::Folder> pageFolder_;
    platform::FileIdentity pageFolderIdentity_;
};

}  // namespace

WString trimBlanks(const WString& text) { return WString(trimmed<char16_t>(text)); }

WString makeOutputName(const WString& sourcePath, const std::optional<WString>& outputArg) {
    std::size_t slash = sourcePath.find_last_of(u"/\\");
    std::size_t componentStart;
    if (slash != WString::npos) componentStart = slash + 1;
    else if (std::size_t colon = sourcePath.rfind(u':'); colon != WString::npos) componentStart = colon + 1;
    else componentStart = 0;
    const std::size_t dot = sourcePath.rfind(u'.');
    const bool hasDot = dot != WString::npos && dot >= componentStart;

    WString name;
    if (outputArg) {
        WString out = trimBlanks(*outputArg);
        if (!out.empty()) {
            char16_t last = out.back();
            if (last == u':' || last == u'\\' || last == u'/') {
                name = out + sourcePath.substr(componentStart, hasDot ? dot - componentStart : WString::npos);
            } else {
                name = out;
            }
        }
    }
    if (name.empty()) name = hasDot ? sourcePath.substr(0, dot) : sourcePath;
    return name + u".html";
}

namespace {

// Writes the page body into out; with links, its bytes are scanned for links
// on their way.
void writeBody(PageContext& ctx, WikiInStream& source, PageOutput& out, LinkScan* links) {
    if (!links) {
        convertBody(ctx.markup, source, out);
        return;
    }
    out.flush();
    links->bodyStarts();
    convertBody(ctx.markup, source, out);
    out.flush();
    links->bodyEnds();
}

// Writes the frame or the template with the body into out. 0, or 1 after a
// reported template failure.
int generatePage(PageContext& ctx, WikiInStream& source, PageOutput& out, LinkScan* links) {
    const WString& templateName = ctx.options.templateName;
    if (templateName.empty()) {
        out.write(kPageHead);
        writeBody(ctx, source, out, links);
        out.write(kPageFoot);
        return 0;
    }
    WikiInStream tmpl;
    tmpl.open(templateName);
    if (!tmpl.good()) {
        ctx.report.cantOpenTemplate(templateName);
        return 1;
    }
    bool markerSeen = false;
    std::string line;
    while (!tmpl.atEnd() && tmpl.readLine(line)) {
        if (std::string_view(line).substr(0, kBodyMarker.size()) == kBodyMarker) {
            markerSeen = true;
            writeBody(ctx, source, out, links);
        } else {
            out.write(line);
            out.write('\n');
        }
    }
    if (!markerSeen) {
        ctx.report.templateWithoutMarker(templateName);
        return 1;
    }
    return 0;
}

// Generates the page into out while the page's diagrams go to dots.
int generateWith(PageContext& ctx, DotFiles& dots, WikiInStream& source, PageOutput& out, LinkScan* links) {
    DiagramSink*& sink = ctx.markup.inlines.diagram.sink;
    sink = &dots;
    const int result = generatePage(ctx, source, out, links);
    sink = nullptr;
    out.flush();
    return result;
}

// Generates the page into pageSink. When the run checks links, the body's
// links are scanned on the way and kept with the page for the check after
// the run.
int generateInto(PageContext& ctx, DotFiles& dots, WikiInStream& source, ByteSink& pageSink,
                 const WString& sourcePath, const WString& pageName) {
    if (!ctx.options.checkLinks) {
        PageOutput out(pageSink);
        return generateWith(ctx, dots, source, out, nullptr);
    }
    LinkScan scan(pageSink);
    PageOutput out(scan);
    if (generateWith(ctx, dots, source, out, &scan) != 0) return 1;
    ctx.run.links.addPage(sourcePath, pageName, std::move(scan.links()));
    return 0;
}

}  // namespace

void startRun(RunState& run, const PageOptions& options) {
    const WString work = platform::folderPart(options.workDir);
    run.workFolderOpen = work.empty() || run.workFolder.open(platform::currentFolder(), work);
    if (!options.templateName.empty()) run.templateFile = platform::identify(options.templateName);
}

int convertPage(PageContext& ctx, const SourceFile& source, const std::optional<WString>& outputArg) {
    Report& report = ctx.report;
    WikiInStream reader;
    const WString sourceName = source.path.substr(source.nameStart);
    if (source.identity.exists) reader.open(source.folder, sourceName, source.identity);
    else reader.open(source.folder, sourceName);
    if (!reader.good()) {
        report.cantOpenSource(source.path);
        return 1;
    }
    const WString pageName = makeOutputName(source.path, outputArg);
    // Without an output argument the page lies beside its source and is
    // reached through the source's folder; otherwise it is where the
    // argument says.
    const bool beside = !outputArg || trimBlanks(*outputArg).empty();
    const platform::Folder& pageFolder = beside ? source.folder : platform::currentFolder();
    const WString page = beside ? pageName.substr(source.nameStart) : pageName;
    // Neither the page nor a DOT file may replace these.
    const KeptFiles kept{reader.identity(), ctx.run.templateFile, source.siblings,
                         ctx.run.walked ? &*ctx.run.walked : nullptr};
    DotFiles dots(ctx, kept, PagePlace{pageFolder, page, pageName, source.path});

    if (ctx.options.testMode) {
        WikiInStream stored;
        stored.open(pageFolder, page);
        if (!stored.good()) {
            report.cantOpenStored(pageName);
            return 1;
        }
        report.pageStarts(true, source.path, pageName);
        PageComparison comparison(stored);
        if (generateInto(ctx, dots, reader, comparison, source.path, pageName) != 0) return 1;
        return comparison.finish(report, source.path, pageName);
    }

    OutputFile file;
    if (const Refusal why = file.open(pageFolder, page, kept, ctx.run.written, {true, source.path, {}});
        why != Refusal::None) {
        report.cantCreate(pageName, why, file.earlierSource());
        return 1;
    }
    report.pageStarts(false, source.path, pageName);
    if (generateInto(ctx, dots, reader, file, source.path, pageName) != 0) return 1;
    switch (file.finish()) {
        case OutputFile::Outcome::Written:
        case OutputFile::Outcome::Unchanged: break;
        case OutputFile::Outcome::CantCreate: report.cantCreate(pageName, Refusal::Unwritable); return 1;
        case OutputFile::Outcome::CantWrite: report.cantWrite(pageName); return 1;
    }
    report.pageDone();
    return 0;
}

}  // namespace tarvo
