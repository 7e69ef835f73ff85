// The version page road: the body goes into the updater window's memo as the version check
// puts it there, and its first line is read as the page's date.
#include "fuzz/fuzz_roads.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "ui_updater_form.h"
#include "update/date_text.h"
#include "update/updater_form.h"

namespace fuzzroads {

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
  try {
    form->PageDate = updater::StrToDate(first);
  } catch (const platform::EConvertError&) {
    return Outcome::Refused;
  }
  return Outcome::Done;
}

}  // namespace fuzzroads
