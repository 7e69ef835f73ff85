#include "update/updater_program.h"

#include "platform/ui/application.h"
#include "platform/ui/close_on_terminate.h"
#include "update/application_error.h"
#include "update/updater_form.h"

namespace updater {

int runUpdater(int& argc, char** argv, const std::function<void(TForm1&)>& started) {
  platform::Application app(argc, argv);
  app.setApplicationName(QStringLiteral("Mise à jour"));
  platform::setExceptionHandler(&showApplicationError);
  TForm1 form;
  // A terminate signal is one more way of closing the window.
  platform::closeOnTerminate(&form);
  form.show();
  if (started) started(form);
  const int code = app.exec();
  platform::setExceptionHandler(nullptr);
  return code;
}

}  // namespace updater
