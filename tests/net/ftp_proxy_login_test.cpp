// What each kind of proxy login sends, checked against a scripted peer that
// records every command line.
#include "net/ftp_client.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

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

TEST(FtpLogin, UserAcceptedWithoutPasswordSendsNoPass) {
  ServerProcess peer("ftp_proxy_server.py", {"--reply", "USER=230 Welcome."});
  net::FtpClient ftp;
  ftp.host = "127.0.0.1";
  ftp.port = peer.port();
  ftp.username = "anonymous";
  ftp.connect();
  ftp.disconnect();
  EXPECT_EQ(nettest::linesWithPrefix(peer, "CMD ", "QUIT"), (std::vector<std::string>{"USER anonymous", "TYPE I", "QUIT"}));
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
