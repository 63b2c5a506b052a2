#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "cli/batch_driver.h"
#include "page/page_converter.h"
#include "platform/platform.h"

namespace tarvo {
namespace {

// A source that is listed and then disappears before it is opened is reported
// like any source that cannot be opened, and fails the conversion.
TEST(BatchDriver, ASourceThatDisappearsAfterListingCannotBeOpened) {
    std::string dir = ::testing::TempDir() + "tarvo-vanish-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::string source = dir + "/gone.txt";
    std::ofstream(source) << "text\n";

    platform::DirSearch search;
    platform::DirEntry entry;
    ASSERT_TRUE(search.findFirst(widen(dir + "/*.txt"), entry));
    EXPECT_EQ(entry.name, u"gone.txt");
    ASSERT_EQ(unlink(source.c_str()), 0);

    RunContext ctx;
    testing::internal::CaptureStdout();
    EXPECT_EQ(convertPage(ctx, widen(dir + "/") + entry.name, std::nullopt), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open " + source);
    EXPECT_FALSE(platform::identify(widen(dir + "/gone.html")).exists);
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace tarvo
