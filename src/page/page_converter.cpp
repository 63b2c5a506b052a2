#include "page/page_converter.h"

#include "markup/markup.h"
#include "platform/platform.h"

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

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

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
        std::size_t b = 0, e = outputArg->size();
        while (b < e && isBlank((*outputArg)[b])) ++b;
        while (e > b && isBlank((*outputArg)[e - 1])) --e;
        WString out = outputArg->substr(b, e - b);
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

int generatePage(RunContext& ctx, WikiInStream& source, PageOutput& out) {
    const WString& templateName = ctx.options.templateName;
    if (templateName.empty()) {
        out.write(kPageHead);
        convertBody(ctx, source, out);
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
            convertBody(ctx, source, out);
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

int convertPage(RunContext& ctx, const WString& sourcePath, const std::optional<WString>& outputArg) {
    WikiInStream source;
    source.open(sourcePath);
    if (!source.good()) {
        say("Can't open ", sourcePath);
        return 1;
    }
    const WString pageName = makeOutputName(sourcePath, outputArg);

    if (ctx.options.testMode) {
        WikiInStream stored;
        stored.open(pageName);
        if (!stored.good()) {
            say("Can't open ", pageName, " (for comparison)");
            return 1;
        }
        say("Comparing ", sourcePath, " -> " + bytes(pageName));
        PageOutput memory;
        if (generatePage(ctx, source, memory) != 0) return 1;
        MemoryText generated;
        generated.data.swap(memory.text());
        return comparePage(stored, generated, sourcePath, pageName);
    }

    // Never write a page over the file it is made from.
    const platform::FileIdentity page = platform::identify(pageName);
    if (page == platform::identify(sourcePath)) {
        say("Can't create ", pageName, " (it is the source file)");
        return 1;
    }
    if (!ctx.options.templateName.empty() && page == platform::identify(ctx.options.templateName)) {
        say("Can't create ", pageName, " (it is the template file)");
        return 1;
    }

    PageFile file;
    if (!file.open(pageName)) {
        say("Can't create ", pageName);
        return 1;
    }
    say("Handling ", sourcePath, " -> " + bytes(pageName));
    PageOutput out(file);
    if (generatePage(ctx, source, out) != 0) return 1;
    out.flush();
    switch (file.finish()) {
        case PageFile::Result::Ok: break;
        case PageFile::Result::CantCreate: say("Can't create ", pageName); return 1;
        case PageFile::Result::CantWrite: say("Can't write ", pageName); return 1;
    }
    platform::writeOut("\n");
    return 0;
}

}  // namespace tarvo
