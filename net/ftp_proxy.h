#pragma once
// The kinds of FTP proxy login, in the order the configuration window lists them.
#include <string>

namespace net {

enum FtpProxyType {
  fpcmNone,         // no proxy
  fpcmUserSite,     // USER user@host
  fpcmSite,         // SITE host, then USER user
  fpcmOpen,         // OPEN host, then USER user
  fpcmUserPass,     // USER user@proxyuser@host, PASS pass@proxypass
  fpcmTransparent,  // the proxy's login, then USER user
};

struct FtpProxySettings {
  std::string host;
  int port = 0;  // 0: the FTP port 21
  std::string username;
  std::string password;
  FtpProxyType type = fpcmNone;
};

// The proxy type of a radio group index; any other index means no proxy.
FtpProxyType ftpProxyTypeFromIndex(int index);

}  // namespace net
