#include "update/application_error.h"

#include "platform/ui/message_box.h"

namespace updater {

void showApplicationError(const std::string& message) {
  platform::messageBox(
      {QString(), QString::fromStdString(message), platform::MsgButtons::Ok, platform::MsgIcon::Error});
}

}  // namespace updater
