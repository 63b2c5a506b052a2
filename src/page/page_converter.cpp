#include "page/page_converter.h"

#include <utility>

#include "io/output_file.h"
#include "io/standard_output.h"
#include "page/compare_mode.h"
#include "page/contents.h"
#include "page/dot_files.h"
#include "page/link_check.h"
#include "page/page_name.h"
#include "page/write_behind.h"
#include "text/html_entities.h"

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

// The frame of --html5, around the page's name as its title; the foot is
// the same.
constexpr std::string_view kHtml5Head =
    "<!DOCTYPE html>\n"
    "<html><head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>";
constexpr std::string_view kHtml5HeadEnd =
    "</title>\n"
    "<link rel=\"stylesheet\" href=\"tarvo.css\">\n"
    "</head><body>\n";

constexpr std::string_view kPageNameWord = "{{PAGENAME}}";

// Converts the body into out; with a table of contents the body is made in
// memory first, and the table put in its place.
void convertBodyInto(const PageContext& ctx, PageOutput& out, PageEvents& events) {
    if (!ctx.options.contents) {
        convertBody(ctx.space.markup, ctx.space.reader, out, events);
        return;
    }
    PageOutput body(ctx.space.body);
    Contents contents(events, body);
    convertBody(ctx.space.markup, ctx.space.reader, body, contents);
    contents.write(out, body.text());
}

// Writes the page body into out; with links, its bytes are scanned for links
// on their way.
void writeBody(const PageContext& ctx, PageOutput& out, PageEvents& events, LinkScan* links) {
    if (!links) {
        convertBodyInto(ctx, out, events);
        return;
    }
    out.flush();
    links->bodyStarts();
    convertBodyInto(ctx, out, events);
    out.flush();
    links->bodyEnds();
}

// A line of the template, with --html5 each {{PAGENAME}} in it as the
// page's name.
void writeTemplateLine(const PageContext& ctx, PageOutput& out, std::string_view line, std::string_view name) {
    std::size_t word;
    while (ctx.options.html5 && (word = line.find(kPageNameWord)) != std::string_view::npos) {
        out.write(line.substr(0, word));
        out.write(name);
        line.remove_prefix(word + kPageNameWord.size());
    }
    out.write(line);
    out.write('\n');
}

// Writes the frame or the template with the body into out. name: the page's
// name, escaped as HTML (--html5).
Trouble generatePage(const PageContext& ctx, PageOutput& out, PageEvents& events, LinkScan* links,
                     std::string_view name) {
    const WString& templateName = ctx.options.templateName;
    if (templateName.empty()) {
        if (ctx.options.html5) {
            out.write(kHtml5Head);
            out.write(name);
            out.write(kHtml5HeadEnd);
        } else {
            out.write(kPageHead);
        }
        writeBody(ctx, out, events, links);
        out.write(kPageFoot);
        return {};
    }
    WikiInStream tmpl;
    tmpl.open(templateName);
    if (!tmpl.good()) return Trouble{Trouble::Kind::CantOpenTemplate, templateName, Refusal::None, {}};
    bool markerSeen = false;
    std::string line;
    while (!tmpl.atEnd() && tmpl.readLine(line)) {
        if (isBodyMarker(line)) {
            markerSeen = true;
            writeBody(ctx, out, events, links);
        } else {
            writeTemplateLine(ctx, out, line, name);
        }
    }
    if (tmpl.failed()) return Trouble{Trouble::Kind::CantRead, templateName, Refusal::None, {}};
    if (!markerSeen) return Trouble{Trouble::Kind::TemplateWithoutMarker, templateName, Refusal::None, {}};
    return {};
}

// The folder of a page below an output folder: with --keep-tree the
// source's folder below the walk's first folder, else none.
WString keptFolderOf(const SourceFile& source, const std::optional<WString>& outputArg) {
    if (source.keptFrom == WString::npos || !outputArg) return {};
    const WString& output = *outputArg;
    if (output.empty() || WString(u":\\/").find(output.back()) == WString::npos) return {};
    return source.path.substr(source.keptFrom, source.nameStart - source.keptFrom);
}

// The page's name with its kept folder after the output folder's name.
WString withKeptFolder(WString pageName, const std::optional<WString>& outputArg, const WString& folder) {
    if (!folder.empty()) pageName.insert(outputArg->size(), folder);
    return pageName;
}

Trouble fileTrouble(OutputFile::Outcome outcome, const WString& path) {
    switch (outcome) {
        case OutputFile::Outcome::Written:
        case OutputFile::Outcome::Unchanged: return {};
        case OutputFile::Outcome::CantCreate: return Trouble{Trouble::Kind::CantCreate, path, Refusal::Unwritable, {}};
        case OutputFile::Outcome::CantWrite: return Trouble{Trouble::Kind::CantWrite, path, Refusal::None, {}};
    }
    return {};
}

}  // namespace

// ---- one page in three steps ----

struct PageJob::State {
    // A page of a source file. Without an output argument the page lies
    // beside its source and is reached through the source's folder; in an
    // output folder it is reached through the run's handle of that folder;
    // otherwise it is where the argument says.
    // With a kept folder below the output folder, the page is reached
    // through that folder, opened (or made) by start().
    State(const SourceFile& s, const std::optional<WString>& outputArg, const PageShared& shared, bool hold)
        : source(s),
          sourceName(s.path.substr(s.nameStart)),
          keptFolder(keptFolderOf(s, outputArg)),
          pageName(withKeptFolder(makeOutputName(s.path, outputArg), outputArg, keptFolder)),
          beside(!outputArg || outputArg->empty()),
          inOutputFolder(!beside && shared.outputFolder),
          pageFolder(beside           ? s.folder
                     : !inOutputFolder ? platform::currentFolder()
                     : keptFolder.empty() ? *shared.outputFolder
                                          : treeFolder),
          pageFolderIdentity(beside ? s.folderIdentity
                             : inOutputFolder ? shared.outputFolderIdentity
                                              : platform::FileIdentity{}),
          page(beside ? pageName.substr(s.nameStart)
               : inOutputFolder ? pageName.substr(outputArg->size() + keptFolder.size())
                                : pageName),
          dots(kept, PagePlace{pageFolder, page, pageName, source.path}, hold) {}
    // The page on standard output.
    explicit State(const std::optional<WString>& sourcePath)
        : source{platform::currentFolder(), sourcePath.value_or(u"-"), 0, {}, nullptr, {}},
          sourceName(source.path),
          pageName(u"-"),
          beside(false),
          inOutputFolder(false),
          pageFolder(platform::currentFolder()),
          page(pageName),
          dots(kept, PagePlace{pageFolder, page, pageName, source.path}, false),
          fromStandardInput(!sourcePath) {
        standardOutput.emplace();
    }

    SourceFile source;
    WString sourceName;
    WString keptFolder;  // below the output folder (--keep-tree)
    WString pageName;
    bool beside;
    bool inOutputFolder;
    platform::Folder treeFolder;  // the kept folder, once start() opened it
    const platform::Folder& pageFolder;
    platform::FileIdentity pageFolderIdentity;  // when known
    WString page;  // relative to pageFolder
    ProtectedFiles kept;
    DotFiles dots;
    bool fromStandardInput = false;
    std::optional<StandardOutput> standardOutput;  // the page goes there
    OutputFile file;                               // else the page, in normal mode
    WikiInStream stored;                           // the stored page, in test mode
    std::optional<PageComparison> comparison;
    std::optional<Verdict> verdict;
    std::optional<LinkScan> links;  // with checkLinks
};

PageJob::PageJob(const SourceFile& source, const std::optional<WString>& outputArg, const PageShared& shared,
                 bool holdDiagrams)
    : state_(std::make_unique<State>(source, outputArg, shared, holdDiagrams)) {}

PageJob::PageJob(const std::optional<WString>& sourcePath) : state_(std::make_unique<State>(sourcePath)) {}

PageJob::~PageJob() = default;

const WString& PageJob::sourcePath() const { return state_->source.path; }
const WString& PageJob::pageName() const { return state_->pageName; }
const std::optional<Verdict>& PageJob::verdict() const { return state_->verdict; }
std::vector<Trouble> PageJob::takeDiagramTroubles() { return state_->dots.takeTroubles(); }

void PageJob::storeHeldDiagrams(const PageContext& ctx) {
    state_->dots.use(ctx);
    state_->dots.storeHeld();
}

Trouble PageJob::start(const PageContext& ctx) {
    State& s = *state_;
    WikiInStream& reader = ctx.space.reader;
    if (s.fromStandardInput) reader.openStandardInput();
    else if (s.source.identity.exists) reader.open(s.source.folder, s.sourceName, s.source.identity);
    else reader.open(s.source.folder, s.sourceName);
    if (!reader.good()) return Trouble{Trouble::Kind::CantOpenSource, s.source.path, Refusal::None, {}};
    // Neither the page nor a DOT file may replace these.
    s.kept = ProtectedFiles{reader.identity(), ctx.shared.templateFile, s.source.siblings, ctx.shared.walked};
    if (s.standardOutput) return {};
    if (&s.pageFolder == &s.treeFolder) {
        // A kept folder is made beneath the output folder, never outside
        // it; test mode makes none.
        const bool opened = ctx.options.testMode
                                ? s.treeFolder.openBeneath(*ctx.shared.outputFolder, s.keptFolder)
                                : platform::makeFoldersBeneath(*ctx.shared.outputFolder, s.keptFolder, s.treeFolder);
        if (!opened && ctx.options.testMode)
            return Trouble{Trouble::Kind::CantOpenStored, s.pageName, Refusal::None, {}};
        if (!opened) return Trouble{Trouble::Kind::CantCreate, s.pageName, Refusal::Unwritable, {}};
        s.pageFolderIdentity = platform::identify(s.treeFolder, WString());
    }
    if (ctx.options.testMode) {
        s.stored.open(s.pageFolder, s.page);
        if (!s.stored.good()) return Trouble{Trouble::Kind::CantOpenStored, s.pageName, Refusal::None, {}};
        s.comparison.emplace(s.stored);
        return {};
    }
    const Refusal why =
        s.file.open(s.pageFolder, s.page, s.kept, ctx.shared.written, {true, s.source.path, {}}, s.pageFolderIdentity);
    if (why != Refusal::None) return Trouble{Trouble::Kind::CantCreate, s.pageName, why, s.file.earlierSource()};
    return {};
}

Trouble PageJob::make(const PageContext& ctx) {
    State& s = *state_;
    ByteSink& sink = s.standardOutput ? static_cast<ByteSink&>(*s.standardOutput)
                     : s.comparison   ? static_cast<ByteSink&>(*s.comparison)
                                      : s.file;
    WriteBehind behind(sink);
    if (ctx.options.checkLinks) s.links.emplace(behind, ctx.options.markup.headingIds);
    ByteSink& to = s.links ? static_cast<ByteSink&>(*s.links) : behind;
    PageOutput out(to, ctx.space.block);
    s.dots.use(ctx);
    std::string name;
    if (ctx.options.html5 && !s.fromStandardInput) appendEscaped(name, platform::toUtf8Bytes(pageTitle(s.source.path)));
    Trouble trouble = generatePage(ctx, out, s.dots, s.links ? &*s.links : nullptr, name);
    out.flush();
    behind.finish();
    // A source whose reading failed before its end gives no page: the page
    // stored before is kept.
    if (!trouble && ctx.space.reader.failed()) trouble = Trouble{Trouble::Kind::CantRead, s.source.path, Refusal::None, {}};
    ctx.space.reader.close();
    return trouble;
}

bool PageJob::overtaken() const { return !state_->comparison && state_->file.writtenMeanwhile(); }

Trouble PageJob::finish(const PageContext& ctx) {
    State& s = *state_;
    storeHeldDiagrams(ctx);
    s.dots.letGo();
    if (s.links && ctx.shared.links) ctx.shared.links->addPage(s.source.path, s.pageName, std::move(s.links->links()));
    if (s.standardOutput) {
        if (!s.standardOutput->ok()) return Trouble{Trouble::Kind::CantWrite, s.pageName, Refusal::None, {}};
        return {};
    }
    if (s.comparison) {
        s.verdict = s.comparison->finish();
        return {};
    }
    return fileTrouble(s.file.finish(), s.pageName);
}

}  // namespace tarvo
