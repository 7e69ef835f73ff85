#include <QApplication>
#include <gtest/gtest.h>

// Every test program runs with one application object, so window tests and
// library tests share the same set-up (offscreen platform from the environment).
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
