// The HTTP client against python's http.server.
#include "net/http_client.h"
#include "net_test_support.h"
#include "support/random_bytes.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ServerProcess;
using testsupport::TempDir;

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::writeFile(root / "palvrenftp" / "update.html", "12/03/2007\r\nNotes\r\n");
    testsupport::writeFile(root / "rv" / "PalvrenFtp.zip", archive);
    server = std::make_unique<ServerProcess>("http_server.py", std::vector<std::string>{"--root", root.str()});
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(server->port()) + path; }
  std::string get(net::HttpClient& http, const std::string& path) {
    std::string body;
    http.get(url(path), [&](const char* data, std::size_t size) { body.append(data, size); });
    return body;
  }

  TempDir root;
  std::string archive = testsupport::randomBytes(3 * 1024 * 1024 + 11, 1);
  std::unique_ptr<ServerProcess> server;
};

TEST_F(HttpTest, GetSendsTheUpdaterHeaders) {
  net::HttpClient http;
  EXPECT_EQ(get(http, "/palvrenftp/update.html"), "12/03/2007\r\nNotes\r\n");
  auto headers = nettest::linesWithPrefix(*server, "", "END");
  auto has = [&](const std::string& h) { return std::find(headers.begin(), headers.end(), h) != headers.end(); };
  EXPECT_TRUE(has("GET /palvrenftp/update.html"));
  EXPECT_TRUE(has("HDR Accept: text/html, */*"));
  EXPECT_TRUE(has("HDR Content-Type: text/html"));
  EXPECT_TRUE(has("HDR User-Agent: Mozilla/3.0 (compatible; Indy Library)"));
  for (const auto& h : headers) EXPECT_NE(h.rfind("HDR Content-Length", 0), 0u) << h;
}

TEST_F(HttpTest, LargeBodyArrivesWholeWithReadEvents) {
  net::HttpClient http;
  int begins = 0, ends = 0;
  std::int64_t max = -1, last = -1;
  http.events.onWorkBegin = [&](net::WorkMode mode, std::int64_t m) {
    EXPECT_EQ(mode, net::wmRead);
    ++begins;
    max = m;
  };
  http.events.onWork = [&](net::WorkMode, std::int64_t count) {
    EXPECT_GT(count, last);
    last = count;
  };
  http.events.onWorkEnd = [&](net::WorkMode) { ++ends; };
  EXPECT_EQ(get(http, "/rv/PalvrenFtp.zip"), archive);
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(max, static_cast<std::int64_t>(archive.size()));
  EXPECT_EQ(last, static_cast<std::int64_t>(archive.size()));
  // The same client serves a second request, counting from zero again.
  last = -1;
  EXPECT_EQ(get(http, "/palvrenftp/update.html"), "12/03/2007\r\nNotes\r\n");
}

TEST_F(HttpTest, ErrorStatusRaisesTheStatusLineAndWritesNothing) {
  net::HttpClient http;
  try {
    EXPECT_EQ(get(http, "/rv/absent.zip"), "");
    FAIL() << "no error";
  } catch (const net::EIdException& e) {
    EXPECT_EQ(e.replyCode(), 404);
    EXPECT_EQ(e.message().rfind("HTTP/1.0 404", 0), 0u) << e.message();
  }
}

TEST_F(HttpTest, SinkFailureEndsTheTransfer) {
  net::HttpClient http;
  int ends = 0;
  http.events.onWorkEnd = [&](net::WorkMode) { ++ends; };
  EXPECT_THROW(http.get(url("/rv/PalvrenFtp.zip"),
                        [](const char*, std::size_t) { throw platform::EWriteError("disque plein"); }),
               platform::EWriteError);
  EXPECT_EQ(ends, 1);
}

TEST(Http, UnreachableServerRaises) {
  net::HttpClient http;
  try {
    http.get("http://127.0.0.1:" + std::to_string(nettest::closedPort()) + "/x", [](const char*, std::size_t) {});
    FAIL() << "no error";
  } catch (const net::EIdException& e) {
    EXPECT_EQ(e.message().rfind("Impossible de se connecter à 127.0.0.1", 0), 0u) << e.message();
  }
}

}  // namespace
