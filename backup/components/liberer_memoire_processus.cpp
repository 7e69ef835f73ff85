#include "backup/components/liberer_memoire_processus.h"

#include "platform/core/process_list.h"
#include "platform/core/working_set.h"

namespace backup {

void LibererMemoireProcessus(const QString& exeName) {
  // A process can only trim itself here, so another process of that name is left alone.
  if (platform::currentExecutableName() == exeName.toStdString()) platform::trimOwnWorkingSet();
}

}  // namespace backup
