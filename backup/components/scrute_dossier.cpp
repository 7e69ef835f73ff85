#include "backup/components/scrute_dossier.h"

#include <utility>
#include <vector>

#include "platform/core/file_find.h"
#include "platform/core/file_mask.h"
#include "platform/core/paced_pump.h"

namespace backup {

namespace {

std::vector<std::string> splitMasks(const std::string& filtre) {
  std::vector<std::string> masks;
  std::size_t start = 0;
  while (start < filtre.size()) {
    const std::size_t end = filtre.find(';', start);
    if (end == std::string::npos) {
      masks.push_back(filtre.substr(start));
      break;
    }
    masks.push_back(filtre.substr(start, end - start));
    start = end + 1;
  }
  return masks;
}

}  // namespace

// One walk's settings and events, copied once OnExecute has run (it may still set them up):
// a handler, or a window event run by the pump, may then change the component or start
// another walk without disturbing this one.
struct TScruteDossier::Walk {
  TScruteDossier& sender;
  std::vector<std::string> masks;
  bool recurse;
  int maxDepth;
  TScruteEvent onFichier;
  TScruteEvent onDossier;
  TScruteErreurEvent onErreur;
  std::function<void()> pump;

  void pumpOnce() const {
    if (pump) pump();
  }

  void scanFolder(int depth, std::string folder) const {
    if (maxDepth >= 0 && depth > maxDepth) return;
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    // The whole listing is read and closed here, before any handler runs or any
    // subfolder is opened, so a deep tree never holds more than one descriptor.
    int error = 0;
    const auto entries = platform::listFolder(folder.empty() ? "/" : folder, &error);
    // A folder left out must be said: silence would pass a partial backup for a whole one.
    if (error != 0 && onErreur) onErreur(sender, folder.empty() ? "/" : folder, error);
    scanFiles(folder, entries);
    for (const auto& entry : entries) {
      // Links to folders are never entered: they loop or lead out of the chosen tree.
      if (entry.kind != platform::FindKind::Folder) continue;
      const std::string sub = folder + "/" + entry.name;
      if (onDossier) onDossier(sender, sub);
      if (recurse) scanFolder(depth + 1, sub);
      pumpOnce();
    }
  }

  void scanFiles(const std::string& folder, const std::vector<platform::FindEntry>& entries) const {
    for (const auto& mask : masks) {
      for (const auto& entry : entries) {
        if (!platform::matchesFileMask(entry.name, mask)) continue;
        pumpOnce();
        // Only regular files: reading a FIFO, socket or device would hang or fill a backup.
        if (entry.kind != platform::FindKind::File || !onFichier) continue;
        sender.fichierVu_ = {static_cast<std::int64_t>(entry.info.st_size), entry.info.st_mtime};
        onFichier(sender, folder + "/" + entry.name);
      }
    }
  }
};

TScruteDossier::TScruteDossier() : Pump(platform::pumpWindows) {}

void TScruteDossier::Execute() {
  // Each event is copied before it runs, so a handler may reassign it safely.
  if (const TScruteNotifyEvent onExecute = OnExecute) onExecute(*this);
  const Walk walk{*this, splitMasks(Filtre), SousDossier, MaxPenetration, OnFichier, OnDossier, OnErreur, Pump};
  walk.scanFolder(0, Dossier);
  if (const TScruteNotifyEvent onFin = OnFinExecute) onFin(*this);
}

}  // namespace backup
