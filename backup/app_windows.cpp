#include "backup/app_windows.h"

TfmMain* fmMain = nullptr;
TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
