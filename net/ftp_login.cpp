// The login sequence of each kind of proxy. Through a proxy the control
// connection goes to the proxy, which learns the real host from the commands.
#include "net/ftp_client.h"

#include "net/net_error.h"

namespace net {

FtpProxyType ftpProxyTypeFromIndex(int index) {
  switch (index) {
    case 1: return fpcmUserSite;
    case 2: return fpcmSite;
    case 3: return fpcmOpen;
    case 4: return fpcmUserPass;
    case 5: return fpcmTransparent;
    default: return fpcmNone;
  }
}

void FtpClient::logIn(const std::string& user, const std::string& pass) {
  FtpReply reply = expect("USER " + user, {230, 331});
  if (reply.code == 331) expect("PASS " + pass, {230, 202});
}

void FtpClient::login() {
  bool viaProxy = proxy.type != fpcmNone && !proxy.host.empty();
  FtpProxyType type = viaProxy ? proxy.type : fpcmNone;
  // The proxy connects where these commands say: the server's port goes with its host unless it is
  // the FTP port, so that a proxy still reading "host" alone sees what it always saw.
  const int serverPort = port > 0 ? port : defaultPort;
  const std::string site = serverPort == defaultPort ? host : host + ":" + std::to_string(serverPort);
  // Most proxies want their own login first, when there is one.
  auto proxyLogin = [&] {
    if (!proxy.username.empty()) logIn(proxy.username, proxy.password);
  };
  switch (type) {
    case fpcmNone: logIn(username, password); break;
    case fpcmUserSite:
      proxyLogin();
      logIn(username + "@" + site, password);
      break;
    case fpcmSite:
      proxyLogin();
      expect("SITE " + site, {200, 220, 230, 250});
      logIn(username, password);
      break;
    case fpcmOpen:
      proxyLogin();
      expect("OPEN " + site, {200, 220, 230, 250});
      logIn(username, password);
      break;
    case fpcmUserPass:
      logIn(username + "@" + proxy.username + "@" + site,
            proxy.password.empty() ? password : password + "@" + proxy.password);
      break;
    case fpcmTransparent:
      proxyLogin();
      logIn(username, password);
      break;
  }
}

}  // namespace net
