#pragma once
#include <QMainWindow>

// History window: shows one daily log file.
class TForm2 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);

 public slots:
  void Ouvrirfichiersjournaux1Click();
};
