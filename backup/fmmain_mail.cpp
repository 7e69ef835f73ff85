// E-mail report.
#include "backup/fmmain.h"

void TfmMain::Button11Click() {}
