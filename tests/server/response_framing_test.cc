// The host's reading of an extension's response header: whether the
// connection may carry another request after it.
#include "server/response_framing.h"

#include <gtest/gtest.h>

#include "server/host_options.h"

namespace {

TEST(ResponseFramingTest, LengthFramedResponseCompleteOnlyAtItsLength) {
  CResponseFraming f;
  f.OnHeader("Content-type: text/xml\r\nContent-length: 10\r\n\r\n");
  EXPECT_EQ(f.Framing(), CResponseFraming::eLength);
  f.OnBody("12345", 5);
  EXPECT_FALSE(f.IsComplete());
  f.OnBody("67890", 5);
  EXPECT_TRUE(f.IsComplete());
  f.OnBody("x", 1);  // more than announced
  EXPECT_FALSE(f.IsComplete());
}

TEST(ResponseFramingTest, ChunkedResponseCompleteAfterTheLastChunk) {
  CResponseFraming f;
  f.OnHeader("Content-type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n7d0\r\n");
  EXPECT_EQ(f.Framing(), CResponseFraming::eChunked);
  f.OnBody("abc\r\n", 5);
  EXPECT_FALSE(f.IsComplete());
  // The end sequence split over writes still counts.
  f.OnBody("1\r\nz\r\n0\r", 8);
  EXPECT_FALSE(f.IsComplete());
  f.OnBody("\n\r\n", 3);
  EXPECT_TRUE(f.IsComplete());
}

TEST(ResponseFramingTest, UnclearFramingMeansClose) {
  const char* rgHeaders[] = {
      "Content-type: text/xml\r\n\r\n",                                // no framing at all
      "Content-length: 5\r\nTransfer-Encoding: chunked\r\n\r\n",       // both
      "Content-length: 5\r\nContent-length: 6\r\n\r\n",                // two lengths
      "Content-length: 5x\r\n\r\n",                                    // not a number
      "Transfer-Encoding: gzip\r\n\r\n",                               // not chunked last
      "Content-length: 0\r\nConnection: keep-alive, close\r\n\r\n",    // close asked for
  };
  for (const char* psz : rgHeaders) {
    CResponseFraming f;
    f.OnHeader(psz);
    EXPECT_FALSE(f.IsComplete()) << psz;
  }
  CResponseFraming raw;  // body bytes without any header
  raw.OnBody("HTTP/1.1 200 OK\r\nContent-length: 0\r\n\r\n", 38);
  EXPECT_FALSE(raw.IsComplete());
}

TEST(ResponseFramingTest, ResponseHeadTakesOnlyTheGivenHeaderLength) {
  const char szHeader[] = "Content-length: 3\r\n\r\nignored";
  EXPECT_EQ(BuildResponseHead("200 OK", szHeader, 21, true),
            "HTTP/1.1 200 OK\r\nContent-length: 3\r\n\r\n");
}

TEST(HostOptionsTest, ParsesOptionsAndRejectsBadValues) {
  const char* rgArgs[] = {"vltadmin-host", "--listen", "[::1]:9000", "--extension",
                          "/a.dll=/lib/a.so", "--extension=/b.dll=/lib/b.so",
                          "--read-ahead=1024", "--body-timeout", "0.5"};
  CHostOptions opts;
  std::string err;
  bool fHelp = false;
  ASSERT_TRUE(ParseHostOptions(9, const_cast<char**>(rgArgs), opts, err, fHelp)) << err;
  EXPECT_EQ(opts.m_listen, "[::1]:9000");
  ASSERT_EQ(opts.m_extensions.size(), 2u);
  EXPECT_EQ(opts.m_extensions[1].m_urlPath, "/b.dll");
  EXPECT_EQ(opts.m_extensions[1].m_library, "/lib/b.so");
  EXPECT_EQ(opts.m_cbReadAhead, 1024u);
  EXPECT_EQ(opts.m_bodyTimeout.count(), 500);
  std::string addr;
  unsigned short port = 0;
  ASSERT_TRUE(SplitListenAddress(opts.m_listen, addr, port));
  EXPECT_EQ(addr, "::1");
  EXPECT_EQ(port, 9000);

  for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{
           {"x", "--listen", "nohost"}, {"x", "--listen", "1.2.3.4:70000"},
           {"x", "--extension", "noslash=lib"}, {"x", "--tls-cert", "c.pem"},
           {"x", "--body-timeout", "-1"}, {"x", "--bogus"}, {"x", "stray"}}) {
    CHostOptions o;
    EXPECT_FALSE(ParseHostOptions(static_cast<int>(bad.size()), const_cast<char**>(bad.data()), o,
                                  err, fHelp))
        << bad[1];
  }
}

}  // namespace
