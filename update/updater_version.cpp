// The version page and the date of the installed backup program.
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <string_view>

#include "platform/core/day_count.h"
#include "platform/core/streams.h"
#include "ui_updater_form.h"
#include "update/date_text.h"
#include "update/page_lines.h"
#include "update/updater_form.h"

namespace updater {

void TForm1::Button5Click() {
  platform::TMemoryStream stream;
  try {
    IdHTTP1.get(VersionUrl.toStdString(), [&stream](const char* data, std::size_t size) {
      stream.WriteBuffer(data, static_cast<int64_t>(size));
    });
  } catch (...) {
    // A network error and any other one read alike: no version to compare with.
    ui->Label1->setText(noNewVersionText());
    return;
  }
  LoadMemoFromMemoryStream(ui->Memo1, stream);
  const QStringList lines = memoLines();
  const QString first = lines.isEmpty() ? QString() : lines.first();
  if (first == QStringLiteral("0") || first.isEmpty()) {
    ui->Memo1->clear();
    ui->Label1->setText(QStringLiteral("Pas de réponse, essayez de nouveau dans un moment"));
    return;
  }
  PageDate = StrToDate(first);
}

void TForm1::LoadMemoFromMemoryStream(QPlainTextEdit* memo, const platform::TMemoryStream& stream) {
  const std::string_view body(reinterpret_cast<const char*>(stream.Memory()), stream.Bytes().size());
  memo->setPlainText(splitPageLines(body).join('\n'));
}

QStringList TForm1::memoLines() const {
  QStringList lines;
  const QTextDocument* doc = ui->Memo1->document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
  return lines;
}

void TForm1::Button2Click() {
  const QFileInfo exe(exePath());
  if (!exe.isFile()) {
    ui->Label1->setText(missingExeText());
    return;
  }
  // Through the short date text and back, which keeps the day and drops the time.
  ui->Label3->setText(DateToStr(platform::toDayCount(exe.lastModified())));
  ExeDate = StrToDate(ui->Label3->text());
}

}  // namespace updater
