// What each kind of proxy login sends, checked against a scripted peer that
// records every command line, and through a relaying proxy to a real server.
#include "net/ftp_client.h"
#include "net_test_support.h"
#include "support/random_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testsupport::ServerProcess;

struct LoginCase {
  const char* name;
  net::FtpProxyType type;
  const char* proxyUser;
  std::vector<std::string> commands;  // before "TYPE I" and "QUIT"
};

void PrintTo(const LoginCase& c, std::ostream* os) { *os << c.name; }

class FtpProxyLogin : public ::testing::TestWithParam<LoginCase> {};

TEST_P(FtpProxyLogin, SendsTheLoginOfItsType) {
  const LoginCase& c = GetParam();
  ServerProcess peer("ftp_proxy_server.py");
  net::FtpClient ftp;
  ftp.host = "ftp.example.org";
  ftp.username = "alice";
  ftp.password = "pw";
  ftp.readTimeoutMs = 5000;
  if (c.type == net::fpcmNone) {
    // Without a proxy the peer is the FTP server itself.
    ftp.host = "127.0.0.1";
    ftp.port = peer.port();
  } else {
    ftp.proxy.host = "127.0.0.1";
    ftp.proxy.port = peer.port();
    ftp.proxy.username = c.proxyUser;
    ftp.proxy.password = "ppw";
    ftp.proxy.type = c.type;
  }
  ftp.connect();
  EXPECT_TRUE(ftp.connected());
  ftp.disconnect();
  EXPECT_FALSE(ftp.connected());

  auto expected = c.commands;
  expected.push_back("TYPE I");
  expected.push_back("QUIT");
  EXPECT_EQ(nettest::linesWithPrefix(peer, "CMD ", "QUIT"), expected);
}

const std::vector<std::string> viaProxyLogin = {"USER bob", "PASS ppw"};

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Types, FtpProxyLogin,
    ::testing::Values(
        LoginCase{"None", net::fpcmNone, "", {"USER alice", "PASS pw"}},
        LoginCase{"UserSite", net::fpcmUserSite, "", {"USER alice@ftp.example.org", "PASS pw"}},
        LoginCase{"UserSiteProxyUser", net::fpcmUserSite, "bob",
                  join(viaProxyLogin, {"USER alice@ftp.example.org", "PASS pw"})},
        LoginCase{"Site", net::fpcmSite, "", {"SITE ftp.example.org", "USER alice", "PASS pw"}},
        LoginCase{"SiteProxyUser", net::fpcmSite, "bob",
                  join(viaProxyLogin, {"SITE ftp.example.org", "USER alice", "PASS pw"})},
        LoginCase{"Open", net::fpcmOpen, "", {"OPEN ftp.example.org", "USER alice", "PASS pw"}},
        LoginCase{"OpenProxyUser", net::fpcmOpen, "bob",
                  join(viaProxyLogin, {"OPEN ftp.example.org", "USER alice", "PASS pw"})},
        LoginCase{"UserPass", net::fpcmUserPass, "", {"USER alice@@ftp.example.org", "PASS pw@ppw"}},
        LoginCase{"UserPassProxyUser", net::fpcmUserPass, "bob", {"USER alice@bob@ftp.example.org", "PASS pw@ppw"}},
        LoginCase{"Transparent", net::fpcmTransparent, "", {"USER alice", "PASS pw"}},
        LoginCase{"TransparentProxyUser", net::fpcmTransparent, "bob", join(viaProxyLogin, {"USER alice", "PASS pw"})}),
    [](const ::testing::TestParamInfo<LoginCase>& info) { return std::string(info.param.name); });

// Through a relaying proxy to a real server: the proxy connects where the login commands say, so
// the server's port must travel with its host unless it is 21 (which the proxy here maps to the
// real server's port). Each login ends with an upload that must arrive whole.
struct ForwardCase {
  const char* name;
  net::FtpProxyType type;
  bool proxyAccount;                  // the proxy's own user "bob" with password "ppw"
  std::vector<std::string> commands;  // "{site}" stands for what names the server
};

TEST(FtpProxyForward, EachTypeReachesTheServerOnItsPortAndUploads) {
  const std::vector<std::string> proxyLogin = {"USER bob", "PASS ppw"};
  const ForwardCase cases[] = {
      {"UserSite", net::fpcmUserSite, false, {"USER user@{site}", "PASS secret"}},
      {"UserSite, proxy account", net::fpcmUserSite, true, join(proxyLogin, {"USER user@{site}", "PASS secret"})},
      {"Site", net::fpcmSite, false, {"SITE {site}", "USER user", "PASS secret"}},
      {"Site, proxy account", net::fpcmSite, true, join(proxyLogin, {"SITE {site}", "USER user", "PASS secret"})},
      {"Open", net::fpcmOpen, false, {"OPEN {site}", "USER user", "PASS secret"}},
      {"Open, proxy account", net::fpcmOpen, true, join(proxyLogin, {"OPEN {site}", "USER user", "PASS secret"})},
      // No proxy password: no "@" after the server's password.
      {"UserPass", net::fpcmUserPass, false, {"USER user@@{site}", "PASS secret"}},
      {"UserPass, proxy account", net::fpcmUserPass, true, {"USER user@bob@{site}", "PASS secret@ppw"}},
      {"Transparent", net::fpcmTransparent, false, {"USER user", "PASS secret"}},
      {"Transparent, proxy account", net::fpcmTransparent, true, join(proxyLogin, {"USER user", "PASS secret"})},
  };
  testsupport::TempDir root;
  ServerProcess server("ftp_server.py", {"--root", root.str()});
  const std::string serverAt = "127.0.0.1:" + std::to_string(server.port());
  testsupport::TempDir local;
  const std::string data = testsupport::randomBytes(300 * 1024, 1);
  testsupport::writeFile(local / "palvrenftp.zip", data);

  for (const ForwardCase& c : cases) {
    for (const bool onPort21 : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (onPort21 ? ", port 21" : ", other port"));
      std::vector<std::string> args = {"--forward", "--transparent", serverAt};
      if (c.proxyAccount) args.insert(args.end(), {"--proxy-user", "bob", "--proxy-pass", "ppw"});
      if (onPort21) args.insert(args.end(), {"--map", "21=" + std::to_string(server.port())});
      ServerProcess proxy("ftp_proxy_server.py", args);
      std::filesystem::remove(root / "palvrenftp.zip");

      net::FtpClient ftp;
      nettest::useTestAccount(ftp, server);
      if (onPort21) ftp.port = 21;
      ftp.readTimeoutMs = 5000;
      ftp.proxy = {"127.0.0.1", proxy.port(), c.proxyAccount ? "bob" : "", c.proxyAccount ? "ppw" : "", c.type};
      try {
        ftp.connect();
        ftp.store((local / "palvrenftp.zip").string(), "/palvrenftp.zip");
        ftp.disconnect();
        EXPECT_EQ(testsupport::readFile(root / "palvrenftp.zip"), data);
      } catch (const net::EIdException& e) {
        ADD_FAILURE() << e.message();
      }

      std::vector<std::string> expected;
      for (std::string line : c.commands) {
        if (const auto at = line.find("{site}"); at != std::string::npos)
          line.replace(at, 6, onPort21 ? "127.0.0.1" : serverAt);
        expected.push_back(line);
      }
      std::vector<std::string> sent;
      std::vector<std::string> upstream;
      for (const std::string& line : nettest::linesWithPrefix(proxy, "", "CMD TYPE I")) {
        if (line.rfind("CMD ", 0) == 0 && line != "CMD TYPE I") sent.push_back(line.substr(4));
        if (line.rfind("UPSTREAM ", 0) == 0) upstream.push_back(line.substr(9));
      }
      EXPECT_EQ(sent, expected);
      EXPECT_EQ(upstream, std::vector<std::string>{serverAt});
    }
  }
}

TEST(FtpLogin, UserAcceptedWithoutPasswordSendsNoPass) {
  ServerProcess peer("ftp_proxy_server.py", {"--reply", "USER=230 Welcome."});
  net::FtpClient ftp;
  ftp.host = "127.0.0.1";
  ftp.port = peer.port();
  ftp.username = "anonymous";
  ftp.connect();
  ftp.disconnect();
  EXPECT_EQ(nettest::linesWithPrefix(peer, "CMD ", "QUIT"),
            (std::vector<std::string>{"USER anonymous", "TYPE I", "QUIT"}));
}

TEST(FtpLogin, RefusalRaisesTheServerTextAndLeavesNoConnection) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
    int code;
  };
  for (const Case& c : std::vector<Case>{
           {{"--reply", "PASS=530 Login incorrect."}, "Login incorrect.", 530},
           {{"--reply", "SITE=500 Unknown host."}, "Unknown host.", 500},
           {{"--greeting", "421-Too many users\\n421 Try later."}, "Too many users Try later.", 421},
       }) {
    ServerProcess peer("ftp_proxy_server.py", c.args);
    net::FtpClient ftp;
    ftp.host = "ftp.example.org";
    ftp.username = "alice";
    ftp.proxy = {"127.0.0.1", peer.port(), "", "", net::fpcmSite};
    try {
      ftp.connect();
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const net::EIdException& e) {
      EXPECT_EQ(e.message(), c.message);
      EXPECT_EQ(e.replyCode(), c.code);
    }
    EXPECT_FALSE(ftp.connected());
  }
}

TEST(FtpLogin, ProxyIndexMapsToTheSixTypes) {
  const net::FtpProxyType expected[] = {net::fpcmNone, net::fpcmUserSite, net::fpcmSite,
                                        net::fpcmOpen, net::fpcmUserPass, net::fpcmTransparent};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(net::ftpProxyTypeFromIndex(i), expected[i]);
  EXPECT_EQ(net::ftpProxyTypeFromIndex(-1), net::fpcmNone);
  EXPECT_EQ(net::ftpProxyTypeFromIndex(6), net::fpcmNone);
}

}  // namespace
