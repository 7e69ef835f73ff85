// Program entry of the updater: one window; closing it ends the program.
#include "platform/ui/application.h"
#include "update/application_error.h"
#include "update/updater_form.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  app.setApplicationName(QStringLiteral("Mise à jour"));
  platform::setExceptionHandler(&updater::showApplicationError);
  updater::TForm1 form;
  form.show();
  const int code = app.exec();
  platform::setExceptionHandler(nullptr);
  return code;
}
