#include "page/page_converter.h"

#include "io/write_guard.h"
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

std::string bytes(const WString& name) { return platform::toUtf8Bytes(name); }

void say(std::string_view a, const WString& name, std::string_view b = {}) {
    std::string text(a);
    text += bytes(name);
    text += b;
    platform::writeOut(text);
}

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

int generatePage(PageContext& ctx, WikiInStream& source, PageOutput& out) {
    const WString& templateName = ctx.options.templateName;
    if (templateName.empty()) {
        out.write(kPageHead);
        convertBody(ctx.markup, source, out);
        out.write(kPageFoot);
        return 0;
    }
    WikiInStream tmpl;
    tmpl.open(templateName);
    if (!tmpl.good()) {
        say("Can't open template ", templateName);
        return 1;
    }
    bool markerSeen = false;
    std::string line;
    while (!tmpl.atEnd() && tmpl.readLine(line)) {
        if (std::string_view(line).substr(0, kBodyMarker.size()) == kBodyMarker) {
            markerSeen = true;
            convertBody(ctx.markup, source, out);
        } else {
            out.write(line);
            out.write('\n');
        }
    }
    if (!markerSeen) {
        say("Can't find line *******body******* in file ", templateName);
        return 1;
    }
    return 0;
}

int convertPage(PageContext& ctx, const SourceFile& source, const std::optional<WString>& outputArg) {
    WikiInStream reader;
    const WString sourceName = source.path.substr(source.nameStart);
    reader.open(source.folder, sourceName);
    if (!reader.good()) {
        say("Can't open ", source.path);
        return 1;
    }
    const WString pageName = makeOutputName(source.path, outputArg);
    // Without an output argument the page lies beside its source and is
    // reached through the source's folder; otherwise it is where the
    // argument says.
    const bool beside = !outputArg || trimBlanks(*outputArg).empty();
    const platform::Folder& pageFolder = beside ? source.folder : platform::currentFolder();
    const WString page = beside ? pageName.substr(source.nameStart) : pageName;
    // Neither a page nor a DOT file may replace these.
    KeptFiles& kept = ctx.markup.diagram.kept;
    kept.source = platform::identify(source.folder, sourceName);
    kept.templateFile = ctx.options.templateName.empty() ? platform::FileIdentity()
                                                         : platform::identify(ctx.options.templateName);

    if (ctx.options.testMode) {
        WikiInStream stored;
        stored.open(pageFolder, page);
        if (!stored.good()) {
            say("Can't open ", pageName, " (for comparison)");
            return 1;
        }
        say("Comparing ", source.path, " -> " + bytes(pageName));
        PageOutput memory;
        if (generatePage(ctx, reader, memory) != 0) return 1;
        MemoryText generated;
        generated.data.swap(memory.text());
        return comparePage(stored, generated, source.path, pageName);
    }

    // A page never replaces another source of its folder either.
    if (const auto why = refusalToWrite(pageFolder, page, kept, source.siblings)) {
        say("Can't create ", pageName, *why);
        return 1;
    }
    PageFile file;
    if (!file.open(pageFolder, page)) {
        say("Can't create ", pageName);
        return 1;
    }
    say("Handling ", source.path, " -> " + bytes(pageName));
    PageOutput out(file);
    if (generatePage(ctx, reader, out) != 0) return 1;
    out.flush();  // a failed write shows in finish()
    switch (file.finish()) {
        case PageFile::Result::Ok: break;
        case PageFile::Result::CantCreate: say("Can't create ", pageName); return 1;
        case PageFile::Result::CantWrite: say("Can't write ", pageName); return 1;
    }
    platform::writeOut("\n");
    return 0;
}

int convertPage(PageContext& ctx, const WString& sourcePath, const std::optional<WString>& outputArg) {
    return convertPage(ctx, SourceFile{platform::currentFolder(), sourcePath}, outputArg);
}

}  // namespace tarvo
