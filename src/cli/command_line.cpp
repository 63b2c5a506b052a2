#include "cli/command_line.h"

#include <optional>

#include "cli/batch_driver.h"
#include "platform/platform.h"
#include "text/utf.h"
#include "version.h"

namespace tarvo {

namespace {

// The value of -file or -gen as UTF-8, fullwidth ASCII folded as the source
// reader folds it.
std::string prefixBytes(const WString& value) {
    std::string out;
    appendUtf16AsUtf8(out, value.c_str(), 0, false);
    return out;
}

int unknownOption(const WString& arg) {
    platform::writeErr("unknown option " + platform::toUtf8Bytes(arg) + "\n");
    return 1;
}

}  // namespace

void printUsage() {
    platform::writeOut(
        "usage: Tarvo [options] <inFilename> [<outFilename>]\n"
        "\t+r recursive (default is non recursive -r)\n"
        "\t-file <prefix> - prefix to put in [[file:...]] items\n"
        "\t-tmpl <templateName> - template to use for html generation\n");
}

// The usage lines, then the options they leave out.
void printHelp() {
    printUsage();
    platform::writeOut(
        "\t-gen <prefix> - prefix to put in front of diagram picture names\n"
        "\t-wrk <prefix> - prefix to put in front of the DOT files written\n"
        "\t-test - compare with the stored pages instead of writing them\n"
        "\t-- - later words are file names, even those starting with - or +\n"
        "\t-h, --help - print this help and exit\n"
        "\t--version - print the version line and exit\n"
        "See \"man tarvo\" for the full description.\n");
}

int runCommandLine(RunContext& ctx, const std::vector<WString>& args) {
    platform::writeOut(kBanner);
    if (args.size() < 2) {
        printUsage();
        return 1;
    }
    ConvertOptions& o = ctx.options;
    std::optional<WString> input, output;
    bool optionsEnded = false;  // after "--" every word is a file name
    for (std::size_t i = 1; i < args.size(); ++i) {
        const WString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        const bool isOption =
            !optionsEnded && !arg.empty() && (arg[0] == u'-' || arg[0] == u'+');
        if (!isOption) {
            if (!input) {
                input = arg;
            } else if (!output) {
                output = arg;
            } else {
                platform::writeOut("*** Error: too many filenames!\n");
                printUsage();
                return 2;
            }
        } else if (arg == u"--") {
            optionsEnded = true;
        } else if (arg == u"--help" || arg == u"-h") {
            // Exact words only: "-hx", "--helpme" and "---" are unknown options.
            printHelp();
            return 0;
        } else if (arg == u"--version") {
            return 0;  // the banner line already printed is the version
        } else if (arg[0] == u'-') {
            const char16_t second = arg.size() > 1 ? arg[1] : u'\0';
            switch (second) {
                case u'f':
                    if (arg == u"-file" && hasValue) {
                        o.filePrefix = prefixBytes(args[++i]);
                        if (o.genPrefix.empty()) o.genPrefix = o.filePrefix;
                    }
                    break;
                case u'g':
                    if (arg == u"-gen" && hasValue) o.genPrefix = prefixBytes(args[++i]);
                    break;
                case u'r':
                    o.recursive = false;
                    break;
                case u't':
                    if (arg == u"-test") o.testMode = true;
                    else if (arg == u"-tmpl" && hasValue) o.templateName = args[++i];
                    break;
                case u'w':
                    if (arg == u"-wrk" && hasValue) o.workDir = args[++i];
                    break;
                default:
                    return unknownOption(arg);
            }
        } else if (arg.size() < 2 || arg[1] != u'r') {
            return unknownOption(arg);
        } else {
            o.recursive = true;
        }
    }
    if (!input) {
        platform::writeOut("*** Error: no input filename!\n");
        printUsage();
        return 1;
    }
    return convertPath(ctx, *input, output);
}

}  // namespace tarvo
