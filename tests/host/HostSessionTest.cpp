#include <gtest/gtest.h>

#include "host/HostSession.h"

namespace {

TEST(HostSession, FileUrlEscapesWhatAPathCannotHold) {
    const struct {
        const char* path;
        const char* url;
    } cases[] = {
        {"/work/page.js", "file:///work/page.js"},
        {"/a b/c#d?e%f.js", "file:///a%20b/c%23d%3Fe%25f.js"},
        {"/Grüße/x.js", "file:///Gr%C3%BC%C3%9Fe/x.js"},
        {"/keep-._~!$&'()*+,;=:@/", "file:///keep-._~!$&'()*+,;=:@/"},
    };
    for (const auto& c : cases) EXPECT_EQ(HostSession::FileUrl(c.path), c.url) << c.path;
}

}  // namespace
