#include "backup/ftp_setup.h"

#include "backup/form1.h"
#include "net/ftp_client.h"
#include "platform/core/str_to_int.h"
#include "ui_form1.h"

namespace backup {

namespace {
std::string text(const QLineEdit* edit) { return edit->text().toStdString(); }
}  // namespace

void SetUpFtpClient(net::FtpClient& client, const TForm1& settings) {
  const Ui::Form1& f = *settings.ui;
  client.host = text(f.hote_vesk);
  client.username = text(f.utilisateur_vesk);
  client.password = text(f.passe_vesk);
  client.port = platform::strToInt(text(f.Port_ftp));
  client.proxy.host = text(f.hote_proxy);
  client.proxy.password = text(f.passe_proxy);
  client.proxy.username = text(f.utilisateur_proxy);
  client.proxy.port =
      f.port_proxy->text().isEmpty() ? net::FtpClient::defaultPort : platform::strToInt(text(f.port_proxy));
  client.proxy.type = net::ftpProxyTypeFromIndex(settings.Type_proxyItemIndex());
  client.passive = f.passive_ftp->isChecked();
}

}  // namespace backup
