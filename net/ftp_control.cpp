#include "net/ftp_control.h"

#include "net/net_error.h"
#include "platform/core/text_lines.h"

namespace net {

namespace {
// A reply line longer than this is no FTP reply.
constexpr std::size_t maxLineLength = 64 * 1024;
}  // namespace

void FtpControl::send(const std::string& command, int timeoutMs) {
  if (command.find_first_of("\r\n") != std::string::npos)
    throw EIdException("Caractère de fin de ligne interdit dans la commande FTP");
  if (!socket_.isOpen()) throw EIdException("Non connecté");
  socket_.sendAll(command + "\r\n", deadlineIn(timeoutMs));
}

std::string FtpControl::readLine(Clock::time_point deadline) {
  for (;;) {
    if (std::optional<std::string> line = platform::takeReceivedLine(buffer_)) return *line;
    if (buffer_.size() > maxLineLength) throw EIdException("Réponse du serveur trop longue");
    char chunk[4096];
    ssize_t n = socket_.recvSome(chunk, sizeof chunk);
    if (n > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) {
      close();
      throw EIdException("La connexion a été fermée par le serveur");
    }
    if (!waitReady(socket_.fd(), POLLIN, deadline)) throw EIdException("Délai de lecture dépassé");
  }
}

FtpReply FtpControl::readReply(int timeoutMs) {
  if (!socket_.isOpen()) throw EIdException("Non connecté");
  auto deadline = deadlineIn(timeoutMs);
  FtpReply reply;
  std::string first = readLine(deadline);
  reply.code = replyCodeOf(first);
  if (reply.code < 0) throw EIdException("Réponse du serveur incorrecte : " + first);
  reply.lines.push_back(first);
  if (first.size() > 3 && first[3] == '-') {
    for (;;) {
      std::string line = readLine(deadline);
      reply.lines.push_back(line);
      if (isFinalReplyLine(line, reply.code)) break;
    }
  }
  return reply;
}

}  // namespace net
