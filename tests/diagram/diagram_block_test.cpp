#include <sys/resource.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "diagram/diagram_test_support.h"

namespace tarvo {
namespace {

using DiagramBlock = testing_support::DiagramTest;
namespace fs = std::filesystem;

TEST_F(DiagramBlock, OneLineBlocksAtLineStartAndInsideALine) {
    ctx.options.testMode = true;  // DOT files are stored in test mode as well
    EXPECT_EQ(convert("<graphviz name=\"g1\">digraph { a -> b }</graphviz>\n"), "<img src=\"g1.svg\"/>\n");
    EXPECT_EQ(dot("g1"), "digraph { a -> b }\n\n");

    // After an opening at line start the rest is written as it stands; inside
    // a line the translation goes on through it.
    ctx.options.genPrefix = "img/";
    EXPECT_EQ(convert("<graphviz>x</graphviz> tail ''b'' <i>\n"
                      "Before <graphviz name=\"m\">y</graphviz> ''it'' <graphvizx>\n"),
              "<img src=\"img/.svg\"/> tail ''b'' <i>\n"
              "<p>Before <img src=\"img/m.svg\"/> <i>it</i> &lt;graphvizx></p>\n");
    EXPECT_EQ(dot(""), "x\n\n");
    EXPECT_EQ(dot("m"), "y\n\n");
}

TEST_F(DiagramBlock, MultiLineBlocksAndTheBlankLinesTheyLeave) {
    // Lines taken whole by the capture close the paragraph, list or indented
    // block like blank lines; text after a closing tag is classified as usual.
    EXPECT_EQ(convert("Para one\n"
                      "<graphviz name=\"ml\">\n"
                      "digraph {\n"
                      "  a -> b  \t\n"
                      "}\n"
                      "</graphviz>== After ==\n"
                      "* item <graphviz name=\"li\">\n"
                      "x -> y\n"
                      "</graphviz>\n"
                      " pre <quickgv name=\"q\" theme=\"cold\">\n"
                      "A -> B\n"
                      "</quickgv> tail\n"),
              "<p>Para one<img src=\"ml.svg\"/>\n</p>\n"
              "<h2>After</h2>\n"
              "<ul>\n<li>item <img src=\"li.svg\"/></li>\n</ul>\n"
              "\n<pre>pre <img src=\"q.svg\"/></pre>\n"
              "\n<pre>tail</pre>\n");
    EXPECT_EQ(dot("ml"), "digraph {\n  a -> b\n}\n\n\n");
    // An opening at the end of a line starts the DOT text with an empty line.
    EXPECT_EQ(dot("li"), "\nx -> y\n\n\n");
    std::string q = dot("q");
    EXPECT_EQ(q.substr(0, 11), "digraph q {");
    EXPECT_EQ(q.substr(q.size() - 12), "\nA -> B\n\n}\n\n");
}

TEST_F(DiagramBlock, TextsThatDoNotOpenOrCloseABlock) {
    EXPECT_EQ(convert("<graphvizx>a</graphviz>\n"
                      "<Graphviz>b\n"
                      "<graphviz\tname=\"t\">c\n"
                      "<graphviz name=\"n\" no end\n"
                      "x <quickgv\tname=\"u\"> <quickgv name=\"v\"\n"
                      "</quickgv>\n"
                      "<nowiki><graphviz name=\"k\">k</graphviz></nowiki>\n"
                      "<pre>\n"
                      "<graphviz name=\"p\">p</graphviz>\n"
                      "</pre>\n"),
              "<p>&lt;graphvizx>a&lt;/graphviz>\n"
              "&lt;Graphviz>b\n"
              "&lt;graphviz\tname=\"t\">c\n"
              "&lt;graphviz name=\"n\" no end\n"
              "x &lt;quickgv\tname=\"u\"> &lt;quickgv name=\"v\"\n"
              "&lt;/quickgv>\n"
              "&lt;graphviz name=\"k\"&gt;k&lt;/graphviz&gt;</p>\n"
              "<pre>\n&lt;graphviz name=\"p\"&gt;p&lt;/graphviz&gt;\n</pre>");
    EXPECT_TRUE(workEntries().empty());
}

TEST_F(DiagramBlock, NamesFromTheNameAttribute) {
    ctx.options.genPrefix = "img/";
    fs::create_directory(work + "net");
    std::string console;
    EXPECT_EQ(convert("<graphviz name = \"a\">1</graphviz>\n"
                      "<graphviz filename=\"x\" name=\"y\">2</graphviz>\n"
                      "<graphviz name='s'>3</graphviz>\n"
                      "<graphviz name=\"net/x\">4</graphviz>\n"
                      "<graphviz name=\"a..b\">5</graphviz>\n"
                      "<graphviz name=\"\xff\">6</graphviz>\n",
                      console),
              "<img src=\"img/.svg\"/>\n<img src=\"img/x.svg\"/>\n<img src=\"img/.svg\"/>\n"
              "<img src=\"img/net/x.svg\"/>\n<img src=\"img/a..b.svg\"/>\n<img src=\"img/\xff.svg\"/>\n");
    EXPECT_EQ(console, "");
    EXPECT_EQ(dot(""), "3\n\n");
    EXPECT_EQ(dot("x"), "2\n\n");
    EXPECT_EQ(dot("net/x"), "4\n\n");
    EXPECT_EQ(dot("a..b"), "5\n\n");
    EXPECT_EQ(dot("?"), "6\n\n");  // a malformed name gives "?" in the file name
    EXPECT_EQ(workEntries(), (std::set<std::string>{".dot", "x.dot", "net", "net/x.dot", "a..b.dot", "?.dot"}));
}

TEST_F(DiagramBlock, FilesThatCannotBeCreatedAreReportedAndConversionGoesOn) {
    fs::create_directory(work + "d.dot");
    std::string console;
    EXPECT_EQ(convert("<graphviz name=\"/abs\">1</graphviz>\n"
                      "<graphviz name=\"\\abs\">2</graphviz>\n"
                      "<graphviz name=\"../up\">3</graphviz>\n"
                      "<graphviz name=\"a/../../up\">4</graphviz>\n"
                      "<graphviz name=\"..\\up\">5</graphviz>\n"
                      "<graphviz name=\"..\">6</graphviz>\n"
                      "<graphviz name=\"nodir/x\">7</graphviz>\n"
                      "<graphviz name=\"d\">8</graphviz>\n"
                      "after\n",
                      console),
              "<img src=\"/abs.svg\"/>\n<img src=\"\\abs.svg\"/>\n<img src=\"../up.svg\"/>\n"
              "<img src=\"a/../../up.svg\"/>\n<img src=\"..\\up.svg\"/>\n<img src=\"...svg\"/>\n"
              "<img src=\"nodir/x.svg\"/>\n<img src=\"d.svg\"/>\n<p>after</p>\n");
    const std::string w = work;
    EXPECT_EQ(console, "Can't create " + w + "/abs.dot" + "Can't create " + w + "\\abs.dot" +
                           "Can't create " + w + "../up.dot" + "Can't create " + w + "a/../../up.dot" +
                           "Can't create " + w + "..\\up.dot" + "Can't create " + w + "...dot" +
                           "Can't create " + w + "nodir/x.dot" +
                           "Can't create " + w + "d.dot");
    EXPECT_EQ(workEntries(), (std::set<std::string>{"d.dot"}));
    EXPECT_FALSE(fs::exists(root() + "/up.dot"));
    EXPECT_FALSE(fs::exists("/abs.dot"));
}

TEST_F(DiagramBlock, UnchangedFilesAreLeftUntouchedOthersReplaced) {
    const std::string path = work + "g.dot";
    const std::string block = "<graphviz name=\"g\">\nA\n B\n</graphviz>\n";
    const std::string text = "A\n B\n\n\n";
    convert(block);
    EXPECT_EQ(dot("g"), text);

    auto storeOver = [&](std::string_view stored) {
        writeFile(path, stored);
        makeOld(path);
        struct stat before {};
        stat(path.c_str(), &before);
        convert(block);
        struct stat after {};
        stat(path.c_str(), &after);
        return untouched(path) && before.st_ino == after.st_ino;
    };
    EXPECT_TRUE(storeOver(text));
    EXPECT_TRUE(storeOver("A\r\n B\r\n\r\n\r"));  // the reader's line ends and nothing else
    EXPECT_TRUE(storeOver("\xef\xbb\xbf" + text));
    for (std::string_view differs : {"A\n B\n\n\nC\n", "A\n B\n\n", "A\n B\n\n\n\n", "A\n B\nx\n\n", "",
                                     "A\n B\n\n\nC"}) {
        EXPECT_FALSE(storeOver(differs)) << differs;
        EXPECT_EQ(dot("g"), text) << differs;
    }

    // Sizes at the reader's 1024-byte window: one line of 1022 or 2046 bytes
    // is stored in 1024 or 2048 bytes.
    for (std::size_t size : {1022u, 2046u}) {
        const std::string body(size, 'x');
        const std::string big = "<graphviz name=\"big\">" + body + "</graphviz>\n";
        const std::string bigPath = work + "big.dot";
        convert(big);
        ASSERT_EQ(fs::file_size(bigPath), size + 2);
        makeOld(bigPath);
        convert(big);
        EXPECT_TRUE(untouched(bigPath)) << size;
        writeFile(bigPath, body + "\n");  // lacks the final empty line
        convert(big);
        EXPECT_EQ(readFile(bigPath), body + "\n\n");
        writeFile(bigPath, body + "\nx");  // as long, but another last line
        convert(big);
        EXPECT_EQ(readFile(bigPath), body + "\n\n");
        writeFile(bigPath, body + "\n\n\n");  // one line too many
        convert(big);
        EXPECT_EQ(readFile(bigPath), body + "\n\n");
    }

    // A FIFO in the file's place cannot be read as a file: it is replaced by
    // the DOT file. (The test holds it open, so that no open of it blocks.)
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    const int fifo = open(path.c_str(), O_RDWR | O_NONBLOCK);
    convert(block);
    close(fifo);
    EXPECT_TRUE(fs::is_regular_file(path));
    if (fs::is_regular_file(path)) {
        EXPECT_EQ(dot("g"), text);
    }
    EXPECT_EQ(workEntries(), (std::set<std::string>{"g.dot", "big.dot"}));  // no temporary left
}

TEST_F(DiagramBlock, AFailedWriteKeepsTheOldFile) {
    const std::string path = work + "w.dot";
    writeFile(path, "old\n\n");
    const std::string block = "<graphviz name=\"w\">" + std::string(20000, 'z') + "</graphviz>\n";
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit oldLimit {};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    struct rlimit small = oldLimit;
    small.rlim_cur = 4096;
    writeSource(block);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ::testing::internal::CaptureStdout();
    std::string page = convertSource();
    std::string console = ::testing::internal::GetCapturedStdout();
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(page, "<img src=\"w.svg\"/>\n");
    EXPECT_EQ(console, "Can't write " + path);
    EXPECT_EQ(dot("w"), "old\n\n");
    EXPECT_EQ(workEntries(), (std::set<std::string>{"w.dot"}));
}

TEST_F(DiagramBlock, ABlockLeftOpenStoresNothingAndTheNextPageStartsClosed) {
    EXPECT_EQ(convert("Text\n<graphviz name=\"open\">\na -> b\n"), "<p>Text<img src=\"open.svg\"/>\n</p>\n");
    EXPECT_EQ(convert("next\n</graphviz>\n"), "<p>next\n&lt;/graphviz></p>\n");
    EXPECT_EQ(convert("<quickgv name=\"open\">A -> B\n"), "<img src=\"open.svg\"/>\n");
    EXPECT_TRUE(workEntries().empty());
    // The next opening starts from an empty text.
    convert("<graphviz name=\"open\">c</graphviz>\n");
    EXPECT_EQ(dot("open"), "c\n\n");
}

}  // namespace
}  // namespace tarvo
