#include "platform/exceptions.h"

#include <gtest/gtest.h>

TEST(Exceptions, FrenchTexts) {
  EXPECT_STREQ(platform::EConvertError::invalidInteger("abc").what(), "'abc' n'est pas une valeur entière correcte");
  EXPECT_STREQ(platform::EInOutError(5).what(), "Erreur E/S 5");
  EXPECT_STREQ(platform::EFOpenError("/x/y").what(), "Impossible d'ouvrir le fichier /x/y");
  EXPECT_STREQ(platform::EFCreateError("/x/y").what(), "Impossible de créer le fichier /x/y");
}
