// Many threads parse and convert at once: converters are per thread, the
// alias table is only read.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "xml_test_support.h"

using namespace xmltest;

TEST(XmlConcurrentTest, ParsersAndConversionsOnManyThreads) {
  vlttest::ScopedRegistryFile registry;
  ASSERT_TRUE(Initialize());
  const std::vector<std::string> docs = {
      "<?xml version='1.0' encoding='Shift_JIS'?><r a='1'>\x82\xa0&#x82A0;</r>",
      "<?xml version='1.0' encoding='windows-1251'?><r>\xC1</r>",
      "<?xml version='1.0' encoding='UTF-8'?><r><c>\xC3\xA9</c></r>",
      Encode("<?xml version='1.0'?><r>\xE4\xB8\xAD</r>", "UTF-16BE"),
  };
  std::vector<std::vector<std::string>> expected;
  for (const auto& doc : docs) expected.push_back(Tokenize(doc));
  std::atomic<int> cMismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const size_t k = static_cast<size_t>(t + i) % docs.size();
        if (Tokenize(docs[k]) != expected[k]) ++cMismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(cMismatches.load(), 0);
  CIcuTrans::Terminate();
}
