#pragma once
// Helpers shared by the network tests.
#include "net/ftp_client.h"
#include "net/idle_pump.h"
#include "support/server_process.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <string>
#include <vector>

namespace nettest {

// A port on 127.0.0.1 where nothing listens.
int closedPort();

// Lines the server printed with the given prefix ("CMD ", "MAIL ") until
// stopAt is seen (included) or the server has been quiet for timeoutMs.
std::vector<std::string> linesWithPrefix(testsupport::ServerProcess& server, const std::string& prefix,
                                         const std::string& stopAt = {}, int timeoutMs = 3000);

// Points the client at ftp_server.py's account on 127.0.0.1, in passive mode.
void useTestAccount(net::FtpClient& ftp, const testsupport::ServerProcess& server);

// Whether the text holds the address as a whole word: a Message-ID on the same domain may end
// in "a@example.org" without naming that address.
bool holdsAddress(const std::string& text, const std::string& address);

// Counts the pump's runs while it is installed.
class PumpCounter {
 public:
  PumpCounter() : scope_([this] { ++count_; }) {}
  int count() const { return count_; }

 private:
  int count_ = 0;
  net::ScopedIdlePump scope_;
};

}  // namespace nettest
