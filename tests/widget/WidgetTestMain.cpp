// Widget tests run inside the real application object, on Qt's offscreen platform.
#include <gtest/gtest.h>

#include "shell/Application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  shell::TApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
