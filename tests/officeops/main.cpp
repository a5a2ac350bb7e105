// vm_office_op_tests: operations end to end through the in-process command line, with one warm
// office for the whole process (installed before the first command, so that no command installs
// one in a test's own folder that is removed after it).

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "support/tempdir.h"
#include "word/office/office.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  vm::test::TempDir data;
  vm::word::office::OfficeOptions options;
  options.dataFolder = data.path() / "office-data";
  options.maxOffices = 1;
  auto office = vm::word::office::installOfficeBackend(options);
  const int rc = RUN_ALL_TESTS();
  vm::word::setOfficeBackend(nullptr);
  office.reset();
  return rc;
}
