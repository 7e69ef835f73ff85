#pragma once
// The FTP account, proxy and mode as the configuration window holds them at this moment.
namespace net {
class FtpClient;
}

namespace backup {

class TForm1;

// Copies host, user, password, port, proxy and passive mode into the client. A port text that
// is not a whole number raises EConvertError; an empty proxy port means the FTP port 21.
void SetUpFtpClient(net::FtpClient& client, const TForm1& settings);

}  // namespace backup
