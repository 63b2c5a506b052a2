#include "page/pictures.h"

#include "test_support.h"

namespace tarvo::test {
namespace {

// The pictures of --svg are written only inside the page's folder; a prefix
// that leads elsewhere (or is an address) is refused before the run starts.
TEST(PicturePrefix, MustStayInsideTheOutputFolder) {
    for (const char* inside : {"", "img/", "a/b/", "pic-", "..a/", "a/..b/", "./img/"})
        EXPECT_TRUE(picturePrefixStaysInside(inside)) << inside;
    for (const char* outside : {"/srv/img/", "../img/", "img/../../", "..", "https://cdn.example/", "data:", "C:",
                                "c:img/", "\\\\server\\share\\", "a\\..\\..\\"})
        EXPECT_FALSE(picturePrefixStaysInside(outside)) << outside;
}

}  // namespace
}  // namespace tarvo::test
