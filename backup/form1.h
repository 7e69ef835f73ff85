#pragma once
// Configuration window: its controls are the program's settings.
#include <QMainWindow>
#include <functional>
#include <memory>

class QButtonGroup;

namespace Ui {
class Form1;
}

namespace backup {

class TSvgEditIni;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  std::unique_ptr<Ui::Form1> ui;
  TSvgEditIni* SvgEditIni1;

  // The folder picker: gets the initial folder, returns false when cancelled. Tests replace it.
  std::function<bool(const QString& title, QString& folder)> folderPicker;
  // The open dialog of "Ouvrir les fichiers journaux": the chosen file, empty when cancelled.
  std::function<QString(const QString& folder)> logFileChooser;

  // The proxy type group: -1 selects none; other values are kept within the items.
  int Type_proxyItemIndex() const;
  void setType_proxyItemIndex(int index);

  // One row per non-empty line of the folder list, added after the existing rows.
  void rebuildFolderView();
  // The folder list's line shown in a row of the list view (empty lines have no row); -1 if none.
  int lineOfRow(int row) const;

  void FormShow();
  void ScrollBox3MouseWheelDown();
  void ScrollBox3MouseWheelUp();
  void SpeedButton2Click();
  void Repertoires_sauvClick();
  void Button2Click();
  void DeleteAt(int n);
  void Type_proxyClick();
  void anonyme_ftpClick();
  void sauvegarde_autoClick();
  void Button4Click();
  void Button5Click();
  void Button1Click();
  void Ouvrirlesfichiersjournaux1Click();
  void SiteWeb1Click();
  void Misejour1Click();
  void Apropos1Click();

  bool SelectFolder(const QString& title, const QString& root, QString& folder, bool allowNewFolder, bool includeFiles,
                    bool editBox);

  static inline const QString webPage = QStringLiteral("https://www.example.com/palvrenftp/");

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QButtonGroup* typeProxy_;
};

}  // namespace backup
