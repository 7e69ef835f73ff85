#include "backup/components/liberer_memoire_processus.h"

#include "platform/process_list.h"
#include "platform/working_set.h"

void LibererMemoireProcessus(const QString& exeName) {
  // A process can only trim itself here, so another process of that name is left alone.
  if (platform::currentExecutableName() == exeName.toStdString()) platform::trimOwnWorkingSet();
}
