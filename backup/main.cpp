// Program entry: one copy per user, three windows, the message loop.
#include "backup/app_windows.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/form2.h"
#include "platform/ui/application.h"
#include "platform/ui/start_behind.h"
#include "platform/core/single_instance.h"

int main(int argc, char** argv) {
  // Kept for the whole process; a second start finds it taken and ends without a trace.
  platform::SingleInstanceLock instance("PalvrenFtp");
  if (!instance.acquired()) return 0;

  platform::Application app(argc, argv);
  app.setApplicationName(QStringLiteral("PalvrenFtp"));
  // Hidden in the tray or with only the configuration window closed, the program goes on.
  app.setQuitOnLastWindowClosed(false);

  backup::fmMain = new backup::TfmMain;
  backup::Form1 = new backup::TForm1;
  backup::Form2 = new backup::TForm2;
  platform::setExceptionHandler(
      [](const std::string& message) { backup::fmMain->ApplicationEvents1Exception(QString::fromStdString(message)); });
  QObject::connect(backup::fmMain, &backup::TfmMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  platform::showAtStart(backup::fmMain);
  const int code = app.exec();
  platform::setExceptionHandler(nullptr);
  delete backup::Form2;
  delete backup::Form1;
  delete backup::fmMain;
  return code;
}
