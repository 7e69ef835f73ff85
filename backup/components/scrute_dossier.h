#pragma once
// The program's folder walker: reports every matching file and every subfolder of a tree
// through events, running the window message pump as it goes so the windows keep painting.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace backup {

class TScruteDossier;

using TScruteEvent = std::function<void(TScruteDossier& sender, const std::string& nom)>;
using TScruteNotifyEvent = std::function<void(TScruteDossier& sender)>;
// A folder that could not be listed (full path, errno): none of its files or subfolders is
// reported.
using TScruteErreurEvent = std::function<void(TScruteDossier& sender, const std::string& nom, int sysError)>;

// What the listing learnt of a reported file (through a link when it is one), so that a
// handler need not ask the file system again.
struct TFichierVu {
  std::int64_t Taille = 0;
  std::time_t Modifie = 0;  // last write, seconds since 1970
};

class TScruteDossier {
 public:
  TScruteDossier();

  std::string Dossier = "/";        // start folder
  std::string Filtre = "*.*";       // file masks separated by ";"
  bool SousDossier = true;          // enter subfolders
  TScruteEvent OnFichier;           // once per regular file, per matching mask (full path)
  TScruteEvent OnDossier;           // once per subfolder found (full path)
  TScruteNotifyEvent OnExecute;     // the walk starts
  TScruteNotifyEvent OnFinExecute;  // the walk has ended (not after a handler's error)
  TScruteErreurEvent OnErreur;      // once per folder that could not be listed, start folder included
  int MaxPenetration = 10000;       // folders deeper than this are not walked; negative: no limit

  // Runs between entries; defaults to the application's event processing, paced by the
  // program clock.
  std::function<void()> Pump;

  // During OnFichier: the file being reported, as its folder's listing found it.
  const TFichierVu& FichierVu() const { return fichierVu_; }

  // Walks the tree. An error from a handler ends the walk and reaches the caller.
  void Execute();

 private:
  struct Walk;
  TFichierVu fichierVu_;
};

}  // namespace backup
