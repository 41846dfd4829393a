// How a download address is taken apart: scheme, credentials, host, port and
// path, and the addresses that are refused before any connection.
#include <gtest/gtest.h>

#include "io/urlload.h"

namespace {

TEST(URLSplit, PartsOfAddresses) {
  struct Case {
    const char* url;
    TVXURLService service;
    const char* host;
    int32_t port;
    const char* user;
    const char* password;
    const char* path;
  } cases[] = {
      {"http://example.org/a.png", vxusHTTP, "example.org", 80, "", "", "/a.png"},
      {"http://example.org:8080/a.png", vxusHTTP, "example.org", 8080, "", "", "/a.png"},
      {"http://example.org:web/a.png", vxusHTTP, "example.org", 80, "", "", "/a.png"},
      {"https://example.org/", vxusHTTPS, "example.org", 443, "", "", "/"},
      {"https://example.org:abc/x", vxusHTTPS, "example.org", 80, "", "", "/x"},
      {"FTP://joe:pw@files.example/dir/pic.jpg", vxusFTP, "files.example", 21, "joe", "pw", "/dir/pic.jpg"},
      {"ftp://joe:@files.example:2121/p", vxusFTP, "files.example", 2121, "joe", "", "/p"},
      {"http://a:b:c@h/p?q=1@2", vxusHTTP, "h", 80, "a", "b:c", "/p?q=1@2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    TVXURLParts p;
    ASSERT_TRUE(VXSplitURL(c.url, p));
    EXPECT_EQ(p.Service, c.service);
    EXPECT_EQ(p.Host, c.host);
    EXPECT_EQ(p.Port, c.port);
    EXPECT_EQ(p.UserName, c.user);
    EXPECT_EQ(p.Password, c.password);
    EXPECT_EQ(p.ObjectPath, c.path);
  }
}

TEST(URLSplit, RefusedAddresses) {
  for (const char* url : {"", "http://", "http://example.org", "gopher://example.org/x", "file:///etc/passwd",
                          "http://user@example.org/x", "http://user@host:80/x", "http:///x", "http://ho st/x",
                          "http://host?x/y", "http://:80/x"}) {
    TVXURLParts p;
    EXPECT_FALSE(VXSplitURL(url, p)) << url;
  }
}

}  // namespace
