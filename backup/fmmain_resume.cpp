// Resume after incident.
#include "backup/fmmain.h"

void TfmMain::Button12Click() {}

void TfmMain::Timer4Timer() {}

void TfmMain::Timer5Timer() {}
