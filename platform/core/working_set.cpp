#include "platform/core/working_set.h"

#include <malloc.h>

namespace platform {

void trimOwnWorkingSet() { ::malloc_trim(0); }

}  // namespace platform
