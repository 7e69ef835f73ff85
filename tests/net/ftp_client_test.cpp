// The FTP client against a real pyftpdlib server and a scripted peer.
#include "net/ftp_client.h"
#include "net_test_support.h"
#include "support/random_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testsupport::ServerProcess;
using testsupport::TempDir;
namespace fs = std::filesystem;

// A server folder, a local folder and a client logged in to the server.
class FtpServerTest : public ::testing::Test {
 protected:
  void start(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--root", root.str()};
    args.insert(args.end(), extra.begin(), extra.end());
    server = std::make_unique<ServerProcess>("ftp_server.py", args);
    nettest::useTestAccount(ftp, *server);
    ftp.readTimeoutMs = 5000;
  }
  std::string local(const std::string& name, const std::string& content) {
    testsupport::writeFile(work / name, content);
    return (work / name).string();
  }

  TempDir root;
  TempDir work;
  std::unique_ptr<ServerProcess> server;
  net::FtpClient ftp;
};

TEST_F(FtpServerTest, StoreAppendAndSizeInBothModes) {
  start();
  std::string first = testsupport::randomBytes(300 * 1024, 1);
  std::string tail = testsupport::randomBytes(70 * 1000 + 7, 2);
  std::string a = local("a.zip", first);
  std::string b = local("b.zip", tail);
  for (bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    ftp.passive = passive;
    ftp.connect();
    ftp.store(a, "/palvrenftp.zip");
    EXPECT_EQ(ftp.size("/palvrenftp.zip"), static_cast<std::int64_t>(first.size()));
    ftp.append(b, "/palvrenftp.zip");
    EXPECT_EQ(ftp.size("/palvrenftp.zip"), static_cast<std::int64_t>(first.size() + tail.size()));
    EXPECT_EQ(testsupport::readFile(root / "palvrenftp.zip"), first + tail);
    // A second store replaces the file.
    ftp.store(b, "/palvrenftp.zip");
    EXPECT_EQ(testsupport::readFile(root / "palvrenftp.zip"), tail);
    ftp.disconnect();
  }
}

TEST_F(FtpServerTest, WorkEventsCountTheWholeFile) {
  start();
  std::string data = testsupport::randomBytes(5 * 1024 * 1024 + 3, 1);
  std::string file = local("big.zip", data);
  std::vector<std::int64_t> counts;
  int begins = 0, ends = 0;
  std::int64_t announced = -1;
  ftp.events.onWorkBegin = [&](net::WorkMode mode, std::int64_t max) {
    EXPECT_EQ(mode, net::wmWrite);
    ++begins;
    announced = max;
  };
  ftp.events.onWork = [&](net::WorkMode, std::int64_t count) { counts.push_back(count); };
  ftp.events.onWorkEnd = [&](net::WorkMode) { ++ends; };
  ftp.passive = true;
  ftp.connect();
  ftp.store(file, "/big.zip");
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(announced, static_cast<std::int64_t>(data.size()));
  ASSERT_FALSE(counts.empty());
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  EXPECT_EQ(counts.back(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(fs::file_size(root / "big.zip"), data.size());
}

TEST_F(FtpServerTest, FoldersAndMissingFiles) {
  start();
  ftp.connect();
  EXPECT_THROW(ftp.changeDir("/sauvegarde/"), net::EIdException);
  ftp.makeDir("/sauvegarde/");
  ftp.makeDir("/sauvegarde/lundi/");
  ftp.changeDir("/sauvegarde/lundi/");
  EXPECT_TRUE(fs::is_directory(root / "sauvegarde" / "lundi"));
  EXPECT_THROW(ftp.makeDir("/sauvegarde/"), net::EIdException);  // exists already
  EXPECT_EQ(ftp.size("/sauvegarde/lundi/palvrenftp.zip"), -1);
  EXPECT_TRUE(ftp.connected());
}

TEST_F(FtpServerTest, MissingLocalFileSendsNothing) {
  start();
  ftp.connect();
  EXPECT_THROW(ftp.store((work / "absent.zip").string(), "/palvrenftp.zip"), platform::EFOpenError);
  EXPECT_FALSE(fs::exists(root / "palvrenftp.zip"));
  EXPECT_TRUE(ftp.connected());
}

TEST_F(FtpServerTest, RefusedLoginRaises) {
  start({"--refuse-login"});
  try {
    ftp.connect();
    FAIL() << "login accepted";
  } catch (const net::EIdException& e) {
    EXPECT_EQ(e.replyCode(), 530);
    EXPECT_EQ(e.message(), "Login refused.");
  }
  EXPECT_FALSE(ftp.connected());
}

// A transfer the server does not finish must never pass for a success.
TEST_F(FtpServerTest, BrokenTransfersFail) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int expectedCode;  // 0: our own message
  };
  // Larger than what the socket buffers of both sides can swallow.
  std::string file = local("archive.zip", testsupport::randomBytes(24 * 1024 * 1024, 1));
  for (const Case& c : std::vector<Case>{
           {"stalled", {"--stall-after", "65536"}, 0},
           {"dropped", {"--drop-after", "65536"}, 426},
           {"final 426", {"--final-reply", "426 Connection closed; transfer aborted."}, 426},
           {"final 450", {"--final-reply", "450 File unavailable."}, 450},
       }) {
    SCOPED_TRACE(c.name);
    for (bool passive : {true, false}) {
      SCOPED_TRACE(passive ? "passive" : "active");
      start(c.args);
      ftp.readTimeoutMs = 1000;
      ftp.passive = passive;
      ftp.connect();
      try {
        ftp.store(file, "/palvrenftp.zip");
        ADD_FAILURE() << "reported as stored";
      } catch (const net::EIdException& e) {
        if (c.expectedCode) {
          EXPECT_EQ(e.replyCode(), c.expectedCode) << e.message();
        }
        EXPECT_FALSE(e.message().empty());
      }
      ftp.disconnect();
    }
  }
}

TEST(FtpConnect, UnreachableOrSilentServersFailInTime) {
  ServerProcess silent("ftp_proxy_server.py", {"--silent"});
  struct Case {
    const char* name;
    int port;
    const char* start;  // beginning of the message
  };
  for (const Case& c : std::vector<Case>{
           {"closed port", nettest::closedPort(), "Impossible de se connecter à 127.0.0.1:"},
           {"no greeting", silent.port(), "Délai de lecture dépassé"},
       }) {
    SCOPED_TRACE(c.name);
    net::FtpClient ftp;
    ftp.host = "127.0.0.1";
    ftp.port = c.port;
    ftp.readTimeoutMs = 300;
    try {
      ftp.connect();
      ADD_FAILURE() << "connected";
    } catch (const net::EIdException& e) {
      EXPECT_EQ(e.message().rfind(c.start, 0), 0u) << e.message();
    }
    EXPECT_FALSE(ftp.connected());
  }
}

TEST(FtpConnect, UnknownHostRaises) {
  net::FtpClient ftp;
  ftp.host = "host.invalid";
  ftp.connectTimeoutMs = 5000;
  EXPECT_THROW(ftp.connect(), net::EIdException);
}

// Replies of the scripted peer decide what each command gives back.
TEST(FtpReplies, AcceptedCodesOfEachCommand) {
  struct Case {
    const char* reply;  // VERB=reply
    std::function<void(net::FtpClient&)> call;
    bool raises;
    std::string message;
  };
  auto cwd = [](net::FtpClient& f) { f.changeDir("/a/"); };
  auto mkd = [](net::FtpClient& f) { f.makeDir("/a/"); };
  for (const Case& c : std::vector<Case>{
           {"CWD=200 OK.", cwd, false, ""},
           {"CWD=250 OK.", cwd, false, ""},
           {"CWD=257 Odd.", cwd, true, "Odd."},
           {"CWD=550 No such directory.", cwd, true, "No such directory."},
           {"MKD=257 \"/a/\" created.", mkd, false, ""},
           {"MKD=250 Done.", mkd, true, "Done."},
           {"MKD=550-Cannot create\\n550 Permission denied.", mkd, true, "Cannot create Permission denied."},
       }) {
    SCOPED_TRACE(c.reply);
    ServerProcess peer("ftp_proxy_server.py", {"--reply", c.reply});
    net::FtpClient ftp;
    ftp.host = "127.0.0.1";
    ftp.port = peer.port();
    ftp.connect();
    if (c.raises) {
      try {
        c.call(ftp);
        ADD_FAILURE() << "accepted";
      } catch (const net::EIdException& e) {
        EXPECT_EQ(e.message(), c.message);
      }
    } else {
      EXPECT_NO_THROW(c.call(ftp));
    }
  }
}

TEST(FtpReplies, SizeReadsA64BitCountOrGivesMinusOne) {
  struct Case {
    const char* reply;
    std::int64_t size;
  };
  for (const Case& c : std::vector<Case>{
           {"213 5000000000", 5000000000LL},
           {"213 0", 0},
           {"213 17  ", 17},
           {"550 No such file.", -1},
           {"213 abc", -1},
           {"213", -1},
           {"500 SIZE not understood.", -1},
       }) {
    SCOPED_TRACE(c.reply);
    ServerProcess peer("ftp_proxy_server.py", {"--reply", std::string("SIZE=") + c.reply});
    net::FtpClient ftp;
    ftp.host = "127.0.0.1";
    ftp.port = peer.port();
    ftp.connect();
    EXPECT_EQ(ftp.size("/palvrenftp.zip"), c.size);
  }
}

TEST(FtpReplies, LineBreaksInNamesNeverReachTheServer) {
  ServerProcess peer("ftp_proxy_server.py");
  net::FtpClient ftp;
  ftp.host = "127.0.0.1";
  ftp.port = peer.port();
  ftp.connect();
  EXPECT_THROW(ftp.makeDir("/a\r\nDELE /b"), net::EIdException);
  EXPECT_THROW(ftp.size("/a\nDELE /b"), net::EIdException);
  ftp.disconnect();
  auto commands = nettest::linesWithPrefix(peer, "CMD ", "QUIT");
  for (const auto& c : commands) EXPECT_EQ(c.find("DELE"), std::string::npos) << c;
}

TEST(FtpReplies, LostConnectionRaisesFromSize) {
  ServerProcess peer("ftp_proxy_server.py", {"--reply", "SIZE=421 Timeout."});
  net::FtpClient ftp;
  ftp.host = "127.0.0.1";
  ftp.port = peer.port();
  ftp.connect();
  peer.stop();
  EXPECT_THROW(ftp.size("/palvrenftp.zip"), net::EIdException);
  EXPECT_FALSE(ftp.connected());
}

}  // namespace

namespace {

// Every wait of the client ends, whatever the server fails to do.
TEST(FtpTimeouts, NoServerSilenceHangsTheClient) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool passive;
    std::function<void(net::FtpClient&, const std::string&)> call;
  };
  auto store = [](net::FtpClient& f, const std::string& file) { f.store(file, "/palvrenftp.zip"); };
  testsupport::TempDir work;
  testsupport::writeFile(work / "a.zip", "archive");
  for (const Case& c : std::vector<Case>{
           {"size unanswered", {"--mute", "SIZE"}, true, [](net::FtpClient&f, const std::string&) { f.size("/a"); }},
           {"cwd unanswered",
            {"--mute", "CWD"},
            true,
            [](net::FtpClient&f, const std::string&) { f.changeDir("/a/"); }},
           {"store unanswered", {"--reply", "PORT=200 OK.", "--mute", "STOR"}, false, store},
           {"passive port closed", {"--reply", "PASV=227 Entering Passive Mode (127,0,0,1,0,1)."}, true, store},
           {"passive reply garbled", {"--reply", "PASV=227 Entering Passive Mode."}, true, store},
           {"active never connects", {"--reply", "PORT=200 OK.", "--reply", "STOR=150 Opening."}, false, store},
       }) {
    SCOPED_TRACE(c.name);
    testsupport::ServerProcess peer("ftp_proxy_server.py", c.args);
    net::FtpClient ftp;
    ftp.host = "127.0.0.1";
    ftp.port = peer.port();
    ftp.passive = c.passive;
    ftp.readTimeoutMs = 300;
    ftp.connectTimeoutMs = 300;
    ftp.connect();
    EXPECT_THROW(c.call(ftp, (work / "a.zip").string()), net::EIdException);
  }
}

}  // namespace

namespace {

// Counts past 2^31 and 2^32 bytes stay exact (a sparse file, a server that
// only counts what it receives).
TEST(FtpLargeFile, CountsBeyondFourGigabytes) {
  testsupport::TempDir root, work;
  const std::int64_t size = (std::int64_t{1} << 32) + 12345;
  std::string file = (work / "big.zip").string();
  testsupport::writeFile(file, "");
  std::filesystem::resize_file(file, static_cast<std::uintmax_t>(size));
  testsupport::ServerProcess server("ftp_server.py", {"--root", root.str(), "--discard"});
  net::FtpClient ftp;
  nettest::useTestAccount(ftp, server);
  std::int64_t announced = 0, last = 0;
  ftp.events.onWorkBegin = [&](net::WorkMode, std::int64_t max) { announced = max; };
  ftp.events.onWork = [&](net::WorkMode, std::int64_t count) { last = count; };
  ftp.connect();
  ftp.store(file, "/big.zip");
  EXPECT_EQ(announced, size);
  EXPECT_EQ(last, size);
  EXPECT_EQ(nettest::linesWithPrefix(server, "RECEIVED ", std::to_string(size)).back(), std::to_string(size));
}

}  // namespace
