#include "net/net_error.h"

#include <cerrno>

namespace net {

std::string socketErrorText(int err) {
  switch (err) {
    case ECONNREFUSED: return "connexion refusée";
    case ECONNRESET: return "connexion réinitialisée par le serveur";
    case EPIPE: return "connexion interrompue par le serveur";
    case ETIMEDOUT: return "délai dépassé";
    case ENETUNREACH: return "réseau inaccessible";
    case EHOSTUNREACH: return "hôte inaccessible";
    case EADDRNOTAVAIL: return "adresse non disponible";
    case ECONNABORTED: return "connexion abandonnée";
    case ENETDOWN: return "réseau hors service";
    default: return "erreur système " + std::to_string(err);
  }
}

}  // namespace net
