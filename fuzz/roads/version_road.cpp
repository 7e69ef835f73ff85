// The version page road: the body goes into the updater window's memo as the version check
// puts it there, and its first line is read as the page's date, under short date formats of
// each order (day first, month first, year first) as workstations set them.
#include "fuzz/roads/fuzz_roads.h"
#include "platform/core/exceptions.h"
#include "platform/core/format_settings.h"
#include "platform/core/streams.h"
#include "ui_updater_form.h"
#include "update/date_text.h"
#include "update/updater_form.h"

namespace fuzzroads {

namespace {

// Puts the workstation's formats back whatever the road did.
class ScopedFormats {
 public:
  ScopedFormats() : saved_(platform::formatSettings()) {}
  ~ScopedFormats() { platform::setFormatSettings(saved_); }
  ScopedFormats(const ScopedFormats&) = delete;
  ScopedFormats& operator=(const ScopedFormats&) = delete;

 private:
  platform::FormatSettings saved_;
};

}  // namespace

Outcome versionPage(const uint8_t* data, std::size_t size) {
  // One window for every input, kept to the end of the process: building it costs far more than
  // reading a page, and it must not outlive the application object in a static destructor.
  static updater::TForm1* const form = new updater::TForm1;
  platform::TMemoryStream stream;
  stream.WriteBuffer(data, static_cast<int64_t>(size));
  form->LoadMemoFromMemoryStream(form->ui->Memo1, stream);
  // From here as the check goes on after its download.
  const QStringList lines = form->memoLines();
  const QString first = lines.isEmpty() ? QString() : lines.first();
  if (first == QStringLiteral("0") || first.isEmpty()) return Outcome::Refused;
  ScopedFormats restore;
  bool read = false;
  for (const char* format : {"dd/MM/yyyy", "M/d/yy", "yyyy. MM. dd."}) {
    platform::FormatSettings settings = platform::formatSettings();
    settings.shortDateFormat = QString::fromLatin1(format);
    platform::setFormatSettings(settings);
    try {
      form->PageDate = updater::StrToDate(first);
      read = true;
    } catch (const platform::EConvertError&) {
    }
  }
  return read ? Outcome::Done : Outcome::Refused;
}

}  // namespace fuzzroads
