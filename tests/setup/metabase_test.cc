// The metabase file: its text form, and updates that never lose entries.
#include "platform/wam/metabase.h"

#include <gtest/gtest.h>

#include <thread>

#include "scratch_dir.h"

namespace {

using platform::wam::CMetabase;

TEST(MetabaseTest, ParsesApplicationsAndRefusesAnythingElse) {
  const struct {
    const char* pszText;
    size_t nBadLine;  // 0: well formed
    const char* pszApplications;  // paths joined by ";"
  } kCases[] = {
      {"", 0, ""},
      {"# comment\r\n\r\ninproc /LM/W3SVC/1/ROOT/Scripts/vltadmin\r\n", 0, "/LM/W3SVC/1/ROOT/Scripts/vltadmin"},
      {"  pooled \t/LM/W3SVC/1/ROOT/My App/  \ninproc /lm/w3svc/1/root/my app", 0, "/LM/W3SVC/1/ROOT/My App"},
      {"inproc /a\ninproc /a/b", 0, "/a;/a/b"},
      {"inproc /a\nINPROC /b\n", 2, nullptr},
      {"inproc", 1, nullptr},
      {"inproc a/b", 1, nullptr},
      {"inproc /a//b", 1, nullptr},
      {"inproc /a/../b", 1, nullptr},
      {"inproc /a/./b", 1, nullptr},
      {"inproc /a\\b", 1, nullptr},
      {"inproc /a\x01", 1, nullptr},
      {"inproc /a /", 1, nullptr},
  };
  for (const auto& c : kCases) {
    CMetabase metabase;
    size_t nLine = 0;
    std::string reason;
    bool fParsed = metabase.Parse(c.pszText, &nLine, &reason);
    EXPECT_EQ(fParsed, c.nBadLine == 0) << c.pszText;
    if (!fParsed) {
      EXPECT_EQ(nLine, c.nBadLine) << c.pszText;
      continue;
    }
    std::string paths;
    for (const auto& app : metabase.Applications()) paths += (paths.empty() ? "" : ";") + app.m_path;
    EXPECT_EQ(paths, c.pszApplications) << c.pszText;
    // What is written reads back the same.
    CMetabase again;
    ASSERT_TRUE(again.Parse(metabase.Format(), &nLine, &reason));
    EXPECT_EQ(again.Format(), metabase.Format());
  }
}

TEST(MetabaseTest, CoveringDeleteAndRecursion) {
  CMetabase metabase;
  for (const char* psz : {"/LM/W3SVC/1/ROOT/Scripts", "/LM/W3SVC/1/ROOT/Scripts/vltadmin",
                          "/LM/W3SVC/1/ROOT/Scripts/vltadmin/sub", "/LM/W3SVC/1/ROOT/Scripts/vltadminx"})
    metabase.Create(psz, true);
  EXPECT_FALSE(metabase.Create("/LM/W3SVC/1/ROOT/SCRIPTS", true)) << "one entry per path";
  EXPECT_EQ(metabase.Covering("/lm/w3svc/1/root/scripts/VLTADMIN/x")->m_path, "/LM/W3SVC/1/ROOT/Scripts/vltadmin");
  EXPECT_EQ(metabase.Covering("/LM/W3SVC/1/ROOT"), nullptr);
  EXPECT_TRUE(metabase.Delete("/LM/W3SVC/1/ROOT/Scripts/vltadmin", true));
  EXPECT_EQ(metabase.Applications().size(), 2u) << "the tree below went, the sibling stayed";
  EXPECT_FALSE(metabase.Delete("/LM/W3SVC/1/ROOT/Scripts/vltadmin", true)) << "nothing left to delete";
  EXPECT_TRUE(metabase.Delete("/LM/W3SVC/1/ROOT/Scripts", false));
  EXPECT_EQ(metabase.Applications().size(), 1u);
}

TEST(MetabaseConcurrentTest, WritersNeverLoseEntries) {
  vlttest::CScratchDir dir;
  const std::string file = dir.Path("metabase.txt");
  constexpr int kWriters = 4, kEach = 15;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      for (int i = 0; i < kEach; ++i)
        EXPECT_EQ(platform::wam::UpdateMetabaseFile(file, [&](CMetabase& metabase) {
                    return metabase.Create("/w" + std::to_string(w) + "/" + std::to_string(i), true);
                  }), 0);
    });
  for (auto& writer : writers) writer.join();
  CMetabase metabase;
  ASSERT_EQ(platform::wam::ReadMetabaseFile(file, &metabase), 0);
  EXPECT_EQ(metabase.Applications().size(), static_cast<size_t>(kWriters * kEach));
}

}  // namespace
