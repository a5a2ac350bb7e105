// The error log: four lines, CR LF, the last entry only, failures ignored.
#include <gtest/gtest.h>

#include "app/errorlog.h"
#include "shelltestutil.h"

using vm::ErrorLog;
using vm::shelltest::Folder;

namespace {

QDateTime fixedTime() { return QDateTime(QDate(2026, 5, 3), QTime(14, 5, 9)); }

class ErrorLogTest : public ::testing::Test {
 protected:
  ErrorLogTest() { f.mkdir("log"); }
  QByteArray written() const { return vm::shelltest::readAll(f.file("log/log.txt")); }
  Folder f;
  ErrorLog log{f.file("log/log.txt")};
};

}  // namespace

TEST_F(ErrorLogTest, FourLinesCrLfAndNothingWhenNothingIsPending) {
  EXPECT_FALSE(log.hasPending());
  EXPECT_FALSE(log.write("ctx"));
  EXPECT_FALSE(QFileInfo::exists(f.file("log/log.txt")));
  log.setClock(fixedTime);
  log.record(QStringLiteral("文件未找到"));
  EXPECT_TRUE(log.hasPending());
  EXPECT_TRUE(log.write(QStringLiteral("/docs/a.docx")));
  EXPECT_FALSE(log.hasPending());
  const QByteArray expected = QStringLiteral(
                                  "-----------------------------------\r\n"
                                  "2026/5/3 14:05:09\r\n"
                                  "文件未找到/docs/a.docx\r\n"
                                  "-----------------------------------\r\n")
                                  .toUtf8();
  EXPECT_EQ(written(), expected);
  EXPECT_EQ(ErrorLog::formatEntry(QStringLiteral("文件未找到"), QStringLiteral("/docs/a.docx"), fixedTime()), expected);
  // Written once: the pending error is gone.
  EXPECT_FALSE(log.write());
}

// The file holds the last entry written; an entry the last record of what was pending.
TEST_F(ErrorLogTest, OnlyTheLastEntryAndTheLatestRecord) {
  log.setClock(fixedTime);
  log.record("first error");
  log.write();
  log.record("older");
  log.record("second error");
  log.write();
  const QByteArray text = written();
  EXPECT_FALSE(text.contains("first error"));
  EXPECT_FALSE(text.contains("older"));
  EXPECT_TRUE(text.contains("second error\r\n"));
  EXPECT_EQ(text.count("\r\n"), 4);
  EXPECT_EQ(text.count('\n'), 4);  // no bare LF
}

TEST(ErrorLog, MissingFolderOrUnwritableFileIsIgnored) {
  Folder f;
  ErrorLog log(f.file("log/log.txt"));  // no log folder
  log.record("lost");
  EXPECT_FALSE(log.write());
  EXPECT_FALSE(log.hasPending());  // cleared all the same
  EXPECT_FALSE(QFileInfo::exists(f.file("log")));  // not created
  f.mkdir("log/log.txt");  // a folder where the file should be
  log.record("lost again");
  EXPECT_FALSE(log.write());
  ErrorLog none;  // no path at all
  none.record("x");
  EXPECT_FALSE(none.write());
}

TEST_F(ErrorLogTest, ScopeWritesAtTheEndOfACommand) {
  {
    ErrorLog::Scope scope(log);
    log.record("during the command");
    EXPECT_FALSE(QFileInfo::exists(f.file("log/log.txt")));
  }
  EXPECT_TRUE(written().contains("during the command\r\n"));
}

TEST_F(ErrorLogTest, WriteEntryLeavesThePendingErrorAlone) {
  log.record("pending one");
  EXPECT_TRUE(log.writeEntry("文档已损坏：", "/d/x.docx"));
  EXPECT_TRUE(written().contains(QStringLiteral("文档已损坏：/d/x.docx\r\n").toUtf8()));
  EXPECT_TRUE(log.hasPending());
  EXPECT_EQ(log.pending(), "pending one");
}
