#include "platform/core/system_error_text.h"

#include <cerrno>
#include <cstring>

namespace platform {

std::string systemErrorText(int sysError) {
  switch (sysError) {
    case EACCES:
    case EPERM: return "Accès refusé";
    case ENOENT: return "Fichier ou dossier introuvable";
    case ENOTDIR: return "Ce n'est pas un dossier";
    case EISDIR: return "C'est un dossier";
    case ENAMETOOLONG: return "Nom de fichier trop long";
    case ELOOP: return "Trop de liens symboliques";
    case EIO: return "Erreur d'entrée/sortie";
    case ENOSPC: return "Plus de place sur le disque";
    case EMFILE:
    case ENFILE: return "Trop de fichiers ouverts";
    case ENOMEM: return "Mémoire insuffisante";
    case EROFS: return "Système de fichiers en lecture seule";
    case EBUSY:
    case ETXTBSY: return "Fichier occupé";
    case ESTALE: return "Fichier réseau disparu";
    default: return std::strerror(sysError);
  }
}

}  // namespace platform
