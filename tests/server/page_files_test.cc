// The page files at /vltadmin/: only the files read from the directory are
// served, with the headers that keep them out of caches and frames; a
// reload picks up changes.
#include "server/page_files.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

namespace {

TEST(PageFilesTest, ServesOnlyWhatWasRead) {
  vlttest::CScratchDir dir;
  dir.Write("www/index.html", "<p>page</p>");
  dir.Write("www/vltadmin.js", "'use strict';");
  dir.Write("www/.hidden", "secret");
  dir.Write("www/sub/inner.html", "inner");
  dir.Write("outside.txt", "outside");
  CPageFiles pages;
  std::string err;
  ASSERT_TRUE(pages.Load(dir.Path("www"), err)) << err;

  const struct {
    const char* pszMethod;
    const char* pszPath;
    int nStatus;       // 0: not a page path at all
    const char* pszBody;
  } rgCases[] = {
      {"GET", "/vltadmin/", 200, "<p>page</p>"},
      {"GET", "/vltadmin/index.html", 200, "<p>page</p>"},
      {"GET", "/vltadmin/vltadmin.js", 200, "'use strict';"},
      {"HEAD", "/vltadmin/index.html", 200, ""},
      {"GET", "/vltadmin", 301, ""},
      {"GET", "/vltadmin/.hidden", 404, ""},
      {"GET", "/vltadmin/sub/inner.html", 404, ""},
      {"GET", "/vltadmin/../outside.txt", 404, ""},
      {"GET", "/vltadmin/missing.css", 404, ""},
      {"POST", "/vltadmin/index.html", 405, ""},
      {"GET", "/vltadminx", 0, ""},
      {"GET", "/Scripts/vltadmin/vltadmin.dll", 0, ""},
  };
  for (const auto& c : rgCases) {
    CHostReply reply;
    bool fPage = pages.Serve(c.pszMethod, c.pszPath, false, reply);
    ASSERT_EQ(fPage, c.nStatus != 0) << c.pszPath;
    if (!fPage) continue;
    EXPECT_EQ(reply.m_nStatus, c.nStatus) << c.pszMethod << " " << c.pszPath;
    std::string wire = reply.Wire(true);
    EXPECT_EQ(wire.substr(wire.find("\r\n\r\n") + 4), c.pszBody) << c.pszPath;
    EXPECT_NE(reply.m_head.find("Cache-Control: no-store\r\n"), std::string::npos) << c.pszPath;
    EXPECT_NE(reply.m_head.find("Content-Security-Policy: default-src 'none'; script-src 'self'"),
              std::string::npos);
    EXPECT_EQ(reply.m_head.find("Strict-Transport-Security"), std::string::npos) << "plain HTTP";
  }
  CHostReply head;
  pages.Serve("HEAD", "/vltadmin/", true, head);
  EXPECT_NE(head.Wire(false).find("Content-Length: 11\r\nConnection: close\r\n\r\n"), std::string::npos);
  EXPECT_NE(head.m_head.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(head.m_head.find("Strict-Transport-Security: max-age="), std::string::npos);

  dir.Write("www/index.html", "<p>new</p>");
  ASSERT_TRUE(pages.Reload(err)) << err;
  CHostReply reloaded;
  pages.Serve("GET", "/vltadmin/", false, reloaded);
  EXPECT_EQ(reloaded.m_body, "<p>new</p>");
}

TEST(PageFilesTest, NoDirectoryServesNoPage) {
  CPageFiles pages;
  std::string err;
  ASSERT_TRUE(pages.Load("", err));
  ASSERT_TRUE(pages.Load("/nonexistent/vltadmin-www", err)) << "a missing directory is no error";
  CHostReply reply;
  ASSERT_TRUE(pages.Serve("GET", "/vltadmin/", false, reply));
  EXPECT_EQ(reply.m_nStatus, 404);
}

}  // namespace
