#include "net/ftp_client.h"

#include "net/net_error.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace net {

void FtpClient::status(const std::string& text) {
  if (onStatus) onStatus(text);
}

void FtpClient::requireConnected() const {
  if (!control_.isOpen()) throw EIdException("Non connecté");
}

FtpReply FtpClient::expect(const std::string& command, std::initializer_list<int> accepted) {
  requireConnected();
  FtpReply reply = control_.command(command, readTimeout());
  if (std::find(accepted.begin(), accepted.end(), reply.code) == accepted.end())
    throw EIdException(reply.text(), reply.code);
  return reply;
}

void FtpClient::connect() {
  if (control_.isOpen()) {
    if (control_.alive()) throw EIdException("Déjà connecté");
    control_.close();
  }
  bool viaProxy = proxy.type != fpcmNone && !proxy.host.empty();
  const std::string& target = viaProxy ? proxy.host : host;
  int targetPort = viaProxy ? proxy.port : port;
  if (targetPort <= 0) targetPort = defaultPort;
  if (target.empty()) throw EIdException("Aucun hôte indiqué");

  status("Résolution du nom d'hôte " + target + ".");
  status("Connexion à " + target + ".");
  control_.open(target, targetPort, deadlineIn(connectTimeout()));
  status("Connecté.");
  try {
    FtpReply greeting = control_.readReply(readTimeout());
    if (greeting.code == 120) greeting = control_.readReply(readTimeout());
    if (greeting.code != 220) throw EIdException(greeting.text(), greeting.code);
    login();
    if (binary) expect("TYPE I", {200});
  } catch (...) {
    control_.close();
    status("Déconnecté.");
    throw;
  }
}

bool FtpClient::connected() const { return control_.alive(); }

void FtpClient::disconnect() noexcept {
  if (!control_.isOpen()) return;
  try {
    status("Déconnexion.");
    if (control_.alive()) {
      int wait = std::min(readTimeout(), 5000);
      control_.send("QUIT", wait);
      control_.readReply(wait);
    }
  } catch (...) {
    // The connection goes anyway.
  }
  control_.close();
  try {
    status("Déconnecté.");
  } catch (...) {
  }
}

void FtpClient::changeDir(const std::string& path) { expect("CWD " + path, {200, 250}); }

void FtpClient::makeDir(const std::string& path) { expect("MKD " + path, {257}); }

std::int64_t FtpClient::size(const std::string& remoteName) {
  requireConnected();
  FtpReply reply = control_.command("SIZE " + remoteName, readTimeout());
  if (reply.code != 213) return -1;
  const std::string& line = reply.lines.front();
  auto blank = line.find(' ');
  if (blank == std::string::npos) return -1;
  std::string number = line.substr(blank + 1);
  while (!number.empty() && std::isspace(static_cast<unsigned char>(number.back()))) number.pop_back();
  if (number.empty() || !std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }))
    return -1;
  errno = 0;
  long long value = std::strtoll(number.c_str(), nullptr, 10);
  if (errno == ERANGE) return -1;
  return value;
}

}  // namespace net
