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
// the translation hands them over (or, for a page made on another thread,
// once the page is done), and handed on for their pictures.
class DotFiles final : public PageEvents {
public:
    // kept is the page's; it is read when a DOT file is stored.
    DotFiles(const KeptFiles& kept, PagePlace page, bool hold) : pageKept_(kept), page_(page), hold_(hold) {}

    // The run's state and reporter to store with from now on.
    void use(const PageContext& ctx) { ctx_.emplace(ctx); }

    void diagramClosed(std::string_view name, std::string_view text) override {
        if (hold_) {
            held_.emplace_back(name, text);
            return;
        }
        WString wideName;
        appendUtf8AsUtf16(wideName, static_cast<long>(name.size()), name.data());
        const WString path = ctx_->options.workDir + wideName + u".dot";
        if (store(wideName, path, text) != 0) ctx_->run.failAtEnd = true;
    }

    // Stores what was held back, in the order it came.
    void storeHeld() {
        hold_ = false;
        for (const auto& [name, text] : held_) diagramClosed(name, text);
        held_.clear();
    }

private:
    // 0 when the DOT file holds the text now, else 1 after the failure was
    // reported.
    int store(const WString& name, const WString& path, std::string_view text) {
        const PageContext& ctx = *ctx_;
        RunState& run = ctx.run;
        // The name of the file in the work folder, and the folder it lies in
        // there, opened without ever leaving the work folder.
        const WString inWork = path.substr(platform::folderPart(ctx.options.workDir).size());
        const WString folderPart = platform::folderPart(inWork);
        platform::Folder below;
        const bool inside = run.workFolderOpen && !platform::escapesDirectory(name) &&
                            (folderPart.empty() || below.openBeneath(run.workFolder, folderPart));
        const platform::Folder& folder = folderPart.empty() ? run.workFolder : below;
        const WString nameThere = inWork.substr(folderPart.size());
        OutputFile file;
        // Only the page's source and the template: other sources are no
        // concern of DOT files.
        const KeptFiles kept{pageKept_.source, pageKept_.templateFile, nullptr, nullptr};
        const Refusal why =
            inside ? file.open(folder, nameThere, kept, run.written, {false, {}, std::string(text)}) : Refusal::Outside;
        if (why != Refusal::None) {
            ctx.report.cantCreate(path, why, file.earlierSource());
            return 1;
        }
        switch (const OutputFile::Outcome outcome = file.store(text)) {
            case OutputFile::Outcome::Written:
            case OutputFile::Outcome::Unchanged:
                if (run.pictures) addPicture(name, folder, nameThere, path, outcome == OutputFile::Outcome::Written);
                return 0;
            case OutputFile::Outcome::CantCreate: ctx.report.cantCreate(path, Refusal::Unwritable); return 1;
            case OutputFile::Outcome::CantWrite: ctx.report.cantWrite(path); return 1;
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
        const std::string& genPrefix = ctx_->options.markup.genPrefix;
        WString picture;
        appendUtf8AsUtf16(picture, static_cast<long>(genPrefix.size()), genPrefix.data());
        ctx_->run.pictures->add(DiagramOnPage{pageFolder_, pageFolderIdentity_, platform::folderPart(page_.shown),
                                             picture + name + u".svg", page_.source, &pageKept_, &dotFolder, dotName,
                                             dotPath, dotWritten});
    }

    std::optional<PageContext> ctx_;
    const KeptFiles& pageKept_;
    PagePlace page_;
    bool hold_;
    std::vector<std::pair<std::string, std::string>> held_;  // name, DOT text
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
    if (name.empty()) {
        const std::size_t length = hasDot ? dot : sourcePath.size();
        name.reserve(length + 5);
        name.assign(sourcePath, 0, length);
    }
    name += u".html";
    return name;
}

namespace {

// Writes the page body into out; with links, its bytes are scanned for links
// on their way.
void writeBody(const PageContext& ctx, WikiInStream& source, PageOutput& out, PageEvents& events, LinkScan* links) {
    if (!links) {
        convertBody(ctx.markup, source, out, events);
        return;
    }
    out.flush();
    links->bodyStarts();
    convertBody(ctx.markup, source, out, events);
    out.flush();
    links->bodyEnds();
}

// Writes the frame or the template with the body into out. 0, or 1 after a
// reported template failure.
int generatePage(const PageContext& ctx, WikiInStream& source, PageOutput& out, PageEvents& events,
                 LinkScan* links) {
    const WString& templateName = ctx.options.templateName;
    if (templateName.empty()) {
        out.write(kPageHead);
        writeBody(ctx, source, out, events, links);
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
            writeBody(ctx, source, out, events, links);
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

}  // namespace

void startRun(RunState& run, const PageOptions& options) {
    const WString work = platform::folderPart(options.workDir);
    run.workFolderOpen = work.empty() || run.workFolder.open(platform::currentFolder(), work);
    if (!options.templateName.empty()) run.templateFile = platform::identify(options.templateName);
}

// ---- one page in three steps ----

struct PageJob::State {
    State(const SourceFile& s, const std::optional<WString>& outputArg, bool hold)
        : source(s),
          sourceName(s.path.substr(s.nameStart)),
          pageName(makeOutputName(s.path, outputArg)),
          // Without an output argument the page lies beside its source and
          // is reached through the source's folder; otherwise it is where the
          // argument says.
          beside(!outputArg || trimBlanks(*outputArg).empty()),
          pageFolder(beside ? s.folder : platform::currentFolder()),
          page(beside ? pageName.substr(s.nameStart) : pageName),
          dots(kept, PagePlace{pageFolder, page, pageName, source.path}, hold) {}

    SourceFile source;
    WString sourceName;
    WString pageName;
    bool beside;
    const platform::Folder& pageFolder;
    WString page;  // relative to pageFolder
    KeptFiles kept;
    DotFiles dots;
    WikiInStream reader;
    OutputFile file;                          // the page, in normal mode
    WikiInStream stored;                      // the stored page, in test mode
    std::optional<PageComparison> comparison;
    std::optional<LinkScan> links;            // with checkLinks
};

PageJob::PageJob(const SourceFile& source, const std::optional<WString>& outputArg, bool holdDiagrams)
    : state_(std::make_unique<State>(source, outputArg, holdDiagrams)) {}

PageJob::~PageJob() = default;

int PageJob::start(const PageContext& ctx) {
    State& s = *state_;
    Report& report = ctx.report;
    if (ctx.scratch) {
        s.reader.lendBuffer(std::move(ctx.scratch->readBuffer));
        s.file.lendReadAhead(std::move(ctx.scratch->storedBuffer));
    }
    if (s.source.identity.exists) s.reader.open(s.source.folder, s.sourceName, s.source.identity);
    else s.reader.open(s.source.folder, s.sourceName);
    if (!s.reader.good()) {
        report.cantOpenSource(s.source.path);
        return 1;
    }
    // Neither the page nor a DOT file may replace these.
    s.kept = KeptFiles{s.reader.identity(), ctx.run.templateFile, s.source.siblings,
                       ctx.run.walked ? &*ctx.run.walked : nullptr};
    if (ctx.options.testMode) {
        s.stored.open(s.pageFolder, s.page);
        if (!s.stored.good()) {
            report.cantOpenStored(s.pageName);
            return 1;
        }
        s.comparison.emplace(s.stored);
    } else if (const Refusal why = s.file.open(s.pageFolder, s.page, s.kept, ctx.run.written, {true, s.source.path, {}},
                                               s.beside ? s.source.folderIdentity : platform::FileIdentity{});
               why != Refusal::None) {
        report.cantCreate(s.pageName, why, s.file.earlierSource());
        return 1;
    }
    report.pageStarts(ctx.options.testMode, s.source.path, s.pageName);
    return 0;
}

int PageJob::make(const PageContext& ctx) {
    State& s = *state_;
    ByteSink& sink = s.comparison ? static_cast<ByteSink&>(*s.comparison) : s.file;
    if (ctx.options.checkLinks) s.links.emplace(sink);
    ByteSink& to = s.links ? static_cast<ByteSink&>(*s.links) : sink;
    std::string ownBlock;
    PageOutput out(to, ctx.scratch ? ctx.scratch->block : ownBlock);
    s.dots.use(ctx);
    const int result = generatePage(ctx, s.reader, out, s.dots, s.links ? &*s.links : nullptr);
    out.flush();
    if (ctx.scratch) {
        ctx.scratch->readBuffer = s.reader.returnBuffer();
        ctx.scratch->storedBuffer = s.file.returnReadAhead();
    }
    return result;
}

bool PageJob::overtaken() const { return !state_->comparison && state_->file.writtenMeanwhile(); }

int PageJob::finish(const PageContext& ctx) {
    State& s = *state_;
    Report& report = ctx.report;
    s.dots.use(ctx);
    s.dots.storeHeld();
    if (s.links) ctx.run.links.addPage(s.source.path, s.pageName, std::move(s.links->links()));
    if (s.comparison) return s.comparison->finish(report, s.source.path, s.pageName);
    switch (s.file.finish()) {
        case OutputFile::Outcome::Written:
        case OutputFile::Outcome::Unchanged: break;
        case OutputFile::Outcome::CantCreate: report.cantCreate(s.pageName, Refusal::Unwritable); return 1;
        case OutputFile::Outcome::CantWrite: report.cantWrite(s.pageName); return 1;
    }
    report.pageDone();
    return 0;
}

namespace {

// The page's bytes onto standard output; a failed write shows at the end.
class StandardOutput final : public ByteSink {
public:
    void take(std::string_view bytes) override { ok_ = platform::writeOut(bytes) && ok_; }
    bool ok() const { return ok_; }

private:
    bool ok_ = true;
};

}  // namespace

int convertToStandardOutput(const PageContext& ctx, const std::optional<WString>& sourcePath) {
    Report& report = ctx.report;
    const WString shown = sourcePath.value_or(u"-");
    WikiInStream reader;
    if (sourcePath) reader.open(*sourcePath);
    else reader.openStandardInput();
    if (!reader.good()) {
        report.cantOpenSource(shown);
        return 1;
    }
    const WString pageName = u"-";
    const KeptFiles kept{reader.identity(), ctx.run.templateFile, nullptr, nullptr};
    DotFiles dots(kept, PagePlace{platform::currentFolder(), pageName, pageName, shown}, false);
    report.pageStarts(false, shown, pageName);
    StandardOutput sink;
    PageOutput out(sink);
    dots.use(ctx);
    const int result = generatePage(ctx, reader, out, dots, nullptr);
    out.flush();
    if (result != 0) return 1;
    if (!sink.ok()) {
        report.cantWrite(pageName);
        return 1;
    }
    report.pageDone();
    return 0;
}

int convertPage(const PageContext& ctx, const SourceFile& source, const std::optional<WString>& outputArg) {
    PageJob job(source, outputArg, false);
    if (job.start(ctx) != 0 || job.make(ctx) != 0) return 1;
    return job.finish(ctx);
}

}  // namespace tarvo
