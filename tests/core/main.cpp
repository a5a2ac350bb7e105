// The main of vm_core_tests: GoogleTest over a QCoreApplication (the run frame and the folder
// scan deliver their reports as queued events, which need one).
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
