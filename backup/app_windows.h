#pragma once
// The program's three windows, created once at start and reachable from every window.

namespace backup {

class TfmMain;
class TForm1;
class TForm2;

extern TfmMain* fmMain;
extern TForm1* Form1;
extern TForm2* Form2;

}  // namespace backup
