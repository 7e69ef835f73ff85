// Store and append: the data connection and the sending of a local file.
#include "net/ftp_client.h"

#include "net/ftp_passive_reply.h"
#include "net/idle_pump.h"
#include "net/net_error.h"
#include "platform/core/exceptions.h"
#include "platform/core/posix_file.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace net {

namespace {

// Read and sent in blocks of this size: faster here than sendfile().
constexpr std::size_t chunkSize = 256 * 1024;
// How long a failed transfer waits for the server to say why.
constexpr int reasonWaitMs = 2000;

int portOf(const SocketAddress& a) {
  if (a.family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&a.storage)->sin_port);
  return ntohs(reinterpret_cast<const sockaddr_in6*>(&a.storage)->sin6_port);
}

void setPort(SocketAddress& a, int port) {
  if (a.family() == AF_INET) reinterpret_cast<sockaddr_in*>(&a.storage)->sin_port = htons(static_cast<uint16_t>(port));
  else reinterpret_cast<sockaddr_in6*>(&a.storage)->sin6_port = htons(static_cast<uint16_t>(port));
}

std::string portCommand(const SocketAddress& a) {
  int p = portOf(a);
  if (a.family() == AF_INET) {
    std::string ip = addressText(a);
    std::replace(ip.begin(), ip.end(), '.', ',');
    return "PORT " + ip + "," + std::to_string(p / 256) + "," + std::to_string(p % 256);
  }
  return "EPRT |2|" + addressText(a) + "|" + std::to_string(p) + "|";
}

}  // namespace

void FtpClient::store(const std::string& localFile, const std::string& remoteName) {
  transfer("STOR", localFile, remoteName);
}

void FtpClient::append(const std::string& localFile, const std::string& remoteName) {
  transfer("APPE", localFile, remoteName);
}

TcpSocket FtpClient::openDataConnection(bool& listening) {
  bool v4 = control_.socket().localAddress().family() == AF_INET;
  TcpSocket data;
  if (passive) {
    listening = false;
    FtpReply reply = expect(v4 ? "PASV" : "EPSV", {v4 ? 227 : 229});
    // The data connection goes to the host we are talking to, whatever
    // address the reply names: a server behind a router often names its
    // private one, and no reply may send us to a third host.
    SocketAddress peer = control_.socket().peerAddress();
    const std::optional<int> port = passiveReplyPort(reply);
    if (!port) throw EIdException("Réponse de mode passif incorrecte : " + reply.text());
    setPort(peer, *port);
    data.connect(peer, addressText(peer) + ":" + std::to_string(portOf(peer)), deadlineIn(connectTimeout()));
  } else {
    listening = true;
    data.listen(control_.socket().localAddress());
    expect(portCommand(data.localAddress()), {200});
  }
  return data;
}

void FtpClient::transfer(const std::string& verb, const std::string& localFile, const std::string& remoteName) {
  requireConnected();
  const platform::FileDescriptor file(::open(localFile.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) throw platform::EFOpenError(localFile, errno);
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) throw platform::EFOpenError(localFile, errno);
  std::int64_t total = st.st_size;

  bool listening = false;
  TcpSocket data = openDataConnection(listening);
  FtpReply reply = control_.command(verb + " " + remoteName, readTimeout());
  if (!reply.isPreliminary()) throw EIdException(reply.text(), reply.code);
  if (listening) {
    try {
      data = data.accept(deadlineIn(readTimeout()));
    } catch (const EIdException& e) {
      data.close();
      failTransfer(e);
    }
  }

  status("Transfert en cours.");
  events.begin(wmWrite, total);
  try {
    sendFileData(localFile, file.get(), total, data);
    data.close();
    reply = control_.readReply(readTimeout());
  } catch (const EIdException& e) {
    data.close();
    events.end(wmWrite);
    failTransfer(e);
  } catch (...) {
    // A local read error: the server holds a part, and the session is
    // out of step.
    data.close();
    events.end(wmWrite);
    status("Transfert interrompu.");
    control_.close();
    throw;
  }
  events.end(wmWrite);
  // Only a completion reply means the file is whole; 426 or 450 say it is not.
  if (reply.code != 226 && reply.code != 250) {
    status("Transfert interrompu.");
    throw EIdException(reply.text(), reply.code);
  }
  status("Transfert terminé.");
}

void FtpClient::sendFileData(const std::string& localFile, int fileFd, std::int64_t size, TcpSocket& data) {
  std::vector<char> buffer(chunkSize);
  std::int64_t sent = 0;
  auto stallDeadline = deadlineIn(readTimeout());
  while (sent < size) {
    std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(chunkSize, size - sent));
    ssize_t got = ::pread(fileFd, buffer.data(), want, static_cast<off_t>(sent));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw platform::EReadError("Erreur de lecture du fichier " + localFile);
    if (got == 0) break;  // the file got shorter while we sent it
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(got)) {
      std::size_t n = data.sendSome(buffer.data() + done, static_cast<std::size_t>(got) - done);
      if (n > 0) {
        done += n;
        sent += static_cast<std::int64_t>(n);
        events.work(wmWrite, sent);
        stallDeadline = deadlineIn(readTimeout());
        IdlePump::tick();
        continue;
      }
      // Watch the control connection too: a server that gives up says so there.
      pollfd fds[2] = {{data.fd(), POLLOUT, 0}, {control_.socket().fd(), POLLIN, 0}};
      if (waitReady(fds, 2, stallDeadline) == 0)
        throw EIdException("Délai d'attente dépassé : le serveur ne reçoit plus les données");
      if (fds[1].revents) {
        FtpReply early = control_.readReply(readTimeout());
        if (early.code >= 400) throw EIdException(early.text(), early.code);
      }
    }
  }
}

void FtpClient::failTransfer(const EIdException& cause) {
  status("Transfert interrompu.");
  if (cause.replyCode() != 0) throw cause;
  // The server often says why on the control connection; without its
  // reply the session is out of step and cannot be used again.
  try {
    if (control_.isOpen() &&
        waitReady(control_.socket().fd(), POLLIN, deadlineIn(std::min(readTimeout(), reasonWaitMs)))) {
      FtpReply reply = control_.readReply(reasonWaitMs);
      if (reply.code >= 400) throw EIdException(reply.text(), reply.code);
    }
  } catch (const EIdException& e) {
    if (e.replyCode() != 0) throw;
  }
  control_.close();
  throw cause;
}

}  // namespace net
