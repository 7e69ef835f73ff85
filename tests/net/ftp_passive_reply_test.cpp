// The data port read from PASV and EPSV replies: every number range-checked, anything else refused.
#include "net/ftp_passive_reply.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(FtpPassiveReply, PortsInRangeOnly) {
  struct Case {
    int code;
    std::string line;
    std::optional<int> port;
  };
  const Case cases[] = {
      {227, "227 Entering Passive Mode (127,0,0,1,4,1).", 1025},
      {227, "227 Entering Passive Mode (127,0,0,1,255,255)", 65535},
      {227, "227 Entering Passive Mode (127,0,0,1,0,1)", 1},
      {227, "227 =127,0,0,1,200,10", 51210},  // no parentheses
      {227, "227 Entering Passive Mode (127,0,0,1,0,0)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,1,256,1)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,1,1,256)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,300,1,1)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,1,4294967297,1)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,1,99999999999999999999,1)", std::nullopt},
      {227, "227 Entering Passive Mode (-1,0,0,1,4,1)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,1,-4,1)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,1,4)", std::nullopt},
      {227, "227 Entering Passive Mode (127,0,0,1,4,)", std::nullopt},
      {227, "227 Entering Passive Mode (127, 0, 0, 1, 4, 1)", 1025},  // blanks after the commas, as some servers send
      {227, "227 Entering Passive Mode (127,0,0,1,4 ,1)", std::nullopt},
      {227, "227 Entering Passive Mode.", std::nullopt},
      {229, "229 Entering Extended Passive Mode (|||6446|)", 6446},
      {229, "229 (|||1|)", 1},
      {229, "229 (|||65535|)", 65535},
      {229, "229 (|||65536|)", std::nullopt},
      {229, "229 (|||0|)", std::nullopt},
      {229, "229 (|||4294967297|)", std::nullopt},
      {229, "229 (|||-1|)", std::nullopt},
      {229, "229 (|||6446)", std::nullopt},
      {229, "229 (|||6446x|)", std::nullopt},
      {229, "229 (|||)", std::nullopt},
      {229, "229 Entering Extended Passive Mode", std::nullopt},
      {200, "200 (|||6446|)", std::nullopt},  // not a passive reply at all
  };
  for (const Case& c : cases) {
    net::FtpReply reply;
    reply.code = c.code;
    reply.lines = {c.line};
    EXPECT_EQ(net::passiveReplyPort(reply), c.port) << c.line;
  }
  EXPECT_EQ(net::passiveReplyPort(net::FtpReply{227, {}}), std::nullopt);
}

}  // namespace
