#include "backup/app_windows.h"

namespace backup {

TfmMain* fmMain = nullptr;
TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;

}  // namespace backup
