// E-mail report: the run's log and the signature, mailed to the configured recipients.
#include <QPlainTextEdit>

#include "backup/app_windows.h"
#include "backup/components/string_splitter.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "net/mail_message.h"
#include "net/smtp_client.h"
#include "platform/core/str_to_int.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

namespace backup {

namespace {

const QString missingSettingsLine = QStringLiteral(
    "Vous devez indiquer les renseignements suivant : Votre SMTP, Votre E-mail, L'e-mail du destinataire, "
    "Le sujet de l'E-mail, Ou décocher l'option \"Recevoir un rapport de sauvegarde par E-mail\" ");
const QString cannotSendLine = QStringLiteral("Impossible d'envoyer E-MAIL");
constexpr int connectTimeoutMs = 300;

// A memo's lines as the user typed or the log wrote them; an empty memo has none.
void appendLines(const QString& text, std::vector<std::string>& lines) {
  if (text.isEmpty()) return;
  for (const QString& line : text.split(QLatin1Char('\n'))) lines.push_back(line.toStdString());
}

// One address goes to To; a list cut at ";" goes to Bcc. The pieces are cut exactly, but a
// blank around an address or an empty piece is no address: a strict server refuses the whole
// mail for one of those.
void addRecipients(const QString& text, net::MailMessage& message) {
  const std::string all = text.toStdString();
  if (all.find(';') == std::string::npos) {
    const QString address = text.trimmed();
    if (!address.isEmpty()) message.to.push_back(address.toStdString());
    return;
  }
  std::vector<std::string> pieces;
  splitter::SplitString(all, ';', pieces);
  for (const std::string& piece : pieces) {
    const QString address = QString::fromStdString(piece).trimmed();
    if (!address.isEmpty()) message.bcc.push_back(address.toStdString());
  }
}

}  // namespace

void TfmMain::Button11Click() {
  if (!Form1) return;
  const Ui::Form1* f = Form1->ui.get();
  if (f->Smtp_tov->text().isEmpty() || f->Email_v->text().isEmpty() || f->Email_D->text().isEmpty() ||
      f->Sujet_tov->text().isEmpty()) {
    journal(missingSettingsLine);
    return;
  }

  net::MailMessage message;
  message.from = f->Email_v->text().toStdString();
  message.subject = (f->Sujet_tov->text() + SubjectSuffix).toStdString();
  addRecipients(f->Email_D->text(), message);
  appendLines(ui->Memo1->text(), message.body);
  message.body.push_back(" ");
  appendLines(f->signature_mail->toPlainText(), message.body);

  net::SmtpClient client;
  // A port that is no number leaves here, before any connection.
  client.port = platform::strToInt(f->Port_tov->text().toStdString());
  client.host = f->Smtp_tov->text().toStdString();
  if (!f->user_name->text().isEmpty() && !f->mot_de_passe->text().isEmpty()) {
    client.auth = net::SmtpAuth::Login;
    client.username = f->user_name->text().toStdString();
    client.password = f->mot_de_passe->text().toStdString();
  }

  // No connection, or a session the server would not open (greeting, EHLO, login): the
  // undated line. A mail refused once the session is open goes on to the caller; the
  // warning suffix stays for the next report.
  try {
    client.connect(connectTimeoutMs);
  } catch (...) {
    client.disconnect();
    journal(cannotSendLine);
    return;
  }
  try {
    client.send(message);
  } catch (const net::ESmtpSessionError&) {
    client.disconnect();
    journal(cannotSendLine);
    return;
  } catch (...) {
    client.disconnect();
    throw;
  }
  client.disconnect();
  SubjectSuffix.clear();
}

}  // namespace backup
