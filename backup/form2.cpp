#include "backup/form2.h"

TForm2::TForm2(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Historique"));
  resize(698, 597);
}

void TForm2::Ouvrirfichiersjournaux1Click() {}
