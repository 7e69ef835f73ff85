#include "platform/core/exceptions.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

TEST(Exceptions, FrenchTexts) {
  EXPECT_STREQ(platform::EConvertError::invalidInteger("abc").what(), "'abc' n'est pas une valeur entière correcte");
  EXPECT_STREQ(platform::EInOutError(5).what(), "Erreur E/S 5");
  EXPECT_STREQ(platform::EFOpenError("/x/y").what(), "Impossible d'ouvrir le fichier /x/y");
  EXPECT_STREQ(platform::EFCreateError("/x/y").what(), "Impossible de créer le fichier /x/y");
  // With the system's reason, in French, the name is quoted.
  EXPECT_EQ(platform::EFOpenError("/x/y", ENOENT).message(),
            "Impossible d'ouvrir le fichier \"/x/y\". Fichier ou dossier introuvable");
  EXPECT_EQ(platform::EFCreateError("/x/y", EACCES).message(), "Impossible de créer le fichier \"/x/y\". Accès refusé");
  EXPECT_EQ(platform::EFOpenError("/x/y", ENAMETOOLONG).message(),
            "Impossible d'ouvrir le fichier \"/x/y\". Nom de fichier trop long");
}
