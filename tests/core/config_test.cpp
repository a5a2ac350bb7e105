// config.ini (readini), the settings, the data folder, --home, and the start-up refusal.
#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "app/appcontext.h"
#include "app/datafolder.h"
#include "app/inifile.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "ops/print.h"
#include "rename/namesettings.h"
#include "shelltestutil.h"

using vm::IniFile;
using vm::shelltest::Folder;

TEST(IniFile, NoPathOrMissingKey) {
  IniFile ini;
  EXPECT_EQ(ini.readIni("config", "dbPath"), "");
  EXPECT_FALSE(ini.writeIni("config", "dbPath", "x"));
  ini.setIniFile("  /x/config.ini \t");
  EXPECT_EQ(ini.getIniFile(), "/x/config.ini");  // trimmed
  Folder f;
  IniFile missing(f.file("none.ini"));
  EXPECT_EQ(missing.readIni("config", "dbPath"), "");
  EXPECT_FALSE(missing.exists());
}

TEST(IniFile, RoundTripWholeValues) {
  Folder f;
  IniFile ini(f.file("config.ini"));
  const QString v49(49, 'a'), v50(50, 'b'), v199(199, 'c'), v250(250, 'd');
  // 20 Chinese characters are 60 bytes: the written byte cut at 49 would split one. Not cut.
  const QString zh = QString(20, QChar(0x6587));
  const QString mixed = QStringLiteral("D:\\数据\\客户名单 2026.mdb");
  const QString sql = QStringLiteral("select [姓名], \"x\" from t\nwhere a = 'b' ; -- ok");
  const QString blanks = QStringLiteral("  two leading, one trailing ");
  const QString quoted = QStringLiteral("\"quoted\"");
  const QString eq = QStringLiteral("a=b=c");
  struct Case {
    const char* key;
    QString value;
  } cases[] = {{"fileBatchName", v49}, {"dbPwd", v50},   {"fileSavePath", v199}, {"dbPath", v250},
               {"k_zh", zh},           {"k_mixed", mixed}, {"dbSql", sql},       {"k_blanks", blanks},
               {"k_quoted", quoted},   {"k_eq", eq},       {"k_empty", QString()}, {"k_bs", "C:\\n\\r\\\\"}};
  for (const Case& c : cases) ASSERT_TRUE(ini.writeIni("config", c.key, c.value)) << c.key;
  for (const Case& c : cases) EXPECT_EQ(ini.readIni("config", c.key), c.value) << c.key;
  // The file is UTF-8 text, Chinese written as is.
  EXPECT_TRUE(vm::shelltest::readAll(f.file("config.ini")).contains(zh.toUtf8()));
  // Overwriting keeps one line per key.
  ASSERT_TRUE(ini.writeIni("config", "dbPwd", "new"));
  EXPECT_EQ(ini.readIni("config", "dbPwd"), "new");
  EXPECT_EQ(vm::shelltest::readAll(f.file("config.ini")).count("dbPwd="), 1);
}

TEST(IniFile, KeepsOtherLinesAndSections) {
  Folder f;
  const QString path = f.touch("config.ini",
                               "\xEF\xBB\xBF; a comment\r\n[other]\r\ndbPath=elsewhere\r\n\r\n[Config]\r\n"
                               "  DBPATH = C:/x.mdb  \r\nfileSavePath=\r\n\r\n[tail]\r\nk=v\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.readIni("config", "dbPath"), "C:/x.mdb");  // case-insensitive, blanks trimmed, BOM, CR LF
  EXPECT_EQ(ini.readIni("other", "dbPath"), "elsewhere");
  EXPECT_EQ(ini.readIni("config", "fileSavePath"), "");
  ASSERT_TRUE(ini.writeIni("config", "dbSql", "select 1"));
  ASSERT_TRUE(ini.writeIni("config", "dbPath", "D:/y.mdb"));
  ASSERT_TRUE(ini.writeIni("new", "a", "b"));
  EXPECT_EQ(ini.readIni("config", "dbSql"), "select 1");
  EXPECT_EQ(ini.readIni("config", "dbPath"), "D:/y.mdb");
  EXPECT_EQ(ini.readIni("other", "dbPath"), "elsewhere");
  EXPECT_EQ(ini.readIni("tail", "k"), "v");
  EXPECT_EQ(ini.readIni("new", "a"), "b");
  const QString text = QString::fromUtf8(vm::shelltest::readAll(path));
  EXPECT_TRUE(text.contains("; a comment"));
  // The new key lands inside [Config], before [tail].
  EXPECT_LT(text.indexOf("dbSql=select 1"), text.indexOf("[tail]"));
  EXPECT_GT(text.indexOf("dbSql=select 1"), text.indexOf("[Config]"));
}

TEST(Settings, LoadSaveRoundTrip) {
  Folder f;
  IniFile ini(f.file("config.ini"));
  vm::Settings s;
  s.fileBatchName = QStringLiteral("{日期}-{序号}");
  s.fileSavePath = QStringLiteral("/home/用户/输出/");
  s.dbPath = QStringLiteral("/data/客户.mdb");
  s.dbPwd = QString(49, 'p');
  s.dbSql = QStringLiteral("select * from [名单] where 城市='北京'");
  ASSERT_TRUE(s.save(ini));
  EXPECT_EQ(vm::Settings::load(ini), s);
  vm::Settings naming;
  naming.fileBatchName = "x";
  ASSERT_TRUE(naming.saveNaming(ini));
  const vm::Settings back = vm::Settings::load(ini);
  EXPECT_EQ(back.fileBatchName, "x");
  EXPECT_EQ(back.fileSavePath, "");
  EXPECT_EQ(back.dbPath, s.dbPath);  // the data source keys untouched
}

TEST(DataFolder, ResolveOrder) {
  const QByteArray saved = qgetenv("VELLUMARK_HOME");
  qputenv("VELLUMARK_HOME", "/tmp/vm-env-home/");
  EXPECT_EQ(vm::DataFolder::resolve("/tmp/vm-option"), "/tmp/vm-option");
  EXPECT_EQ(vm::DataFolder::resolve(), "/tmp/vm-env-home");
  qputenv("VELLUMARK_HOME", "");
  EXPECT_EQ(vm::DataFolder::resolve(), QDir::homePath() + "/.local/share/vellumark");
  EXPECT_EQ(vm::DataFolder::resolve("rel/dir"), QDir::current().absoluteFilePath("rel/dir"));
  if (saved.isNull()) qunsetenv("VELLUMARK_HOME");
  else qputenv("VELLUMARK_HOME", saved);
}

TEST(DataFolder, FirstStartCreatesConfigAndLog) {
  Folder f;
  vm::DataFolder folder(f.file("deep/data"));
  QString reason;
  ASSERT_TRUE(folder.ensure(&reason)) << reason.toStdString();
  EXPECT_TRUE(QFileInfo(folder.logDir()).isDir());
  EXPECT_EQ(vm::shelltest::readAll(folder.configIni()),
            QByteArray("[config]\nfileBatchName=\nfileSavePath=\ndbPath=\ndbPwd=\ndbSql=\n"));
  // A second start keeps what is there.
  IniFile(folder.configIni()).writeIni("config", "dbPath", "/x.mdb");
  ASSERT_TRUE(folder.ensure());
  EXPECT_EQ(IniFile(folder.configIni()).readIni("config", "dbPath"), "/x.mdb");
}

TEST(DataFolder, UnusableFolderIsRefused) {
  Folder f;
  const QString file = f.touch("a-file");
  vm::RecordingPrompter prompter;
  // Each with its true reason: a folder that cannot be created, a file given as the folder,
  // and config.ini that cannot be read (a folder of that name).
  f.mkdir("bad/config.ini");
  const QList<std::pair<QString, QString>> cases = {
      {file + "/data", "无法创建数据文件夹"}, {file, "是一个文件，不是文件夹"}, {f.file("bad"), "config.ini配置文档不存在，请重新安装！"}};
  for (const auto& [home, reason] : cases) {
    prompter.clear();
    EXPECT_EQ(vm::AppContext::create(home, prompter), nullptr) << home.toStdString();
    ASSERT_EQ(prompter.entries.size(), 1);
    EXPECT_EQ(prompter.last().title, "出错！");
    EXPECT_TRUE(prompter.last().text.contains(reason)) << prompter.last().text.toStdString();
  }
}

TEST(AppContext, ReadsTheFiveValues) {
  Folder f;
  vm::RecordingPrompter prompter;
  {
    auto app = vm::AppContext::create(f.file("data"), prompter);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->settings(), vm::Settings{});
    app->settings().dbSql = QStringLiteral("select 姓名 from t");
    app->settings().fileBatchName = QString(30, QChar(0x540D));  // 90 bytes
    EXPECT_TRUE(app->saveSettings());
  }
  auto again = vm::AppContext::create(f.file("data"), prompter);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->settings().dbSql, QStringLiteral("select 姓名 from t"));
  EXPECT_EQ(again->settings().fileBatchName, QString(30, QChar(0x540D)));
  EXPECT_EQ(again->dataFolder().root(), f.file("data"));
  EXPECT_EQ(again->errorLog().logFile(), f.file("data/log/log.txt"));
  EXPECT_EQ(again->runFrame().paused(), 0);
  EXPECT_FALSE(again->runFrame().stopRequested());
  EXPECT_TRUE(prompter.empty());
  // The check the settings windows make.
  EXPECT_TRUE(again->checkConfigIni(prompter));
  QFile::remove(again->dataFolder().configIni());
  EXPECT_FALSE(again->checkConfigIni(prompter));
  EXPECT_EQ(prompter.last().text, "config.ini配置文档不存在，请重新安装！");
}

// At exit the run frame's worker is stopped and joined before the rules it reads go.
TEST(AppContext, WorkerEndsBeforeTheRulesGo) {
  Folder f;
  vm::RecordingPrompter prompter;
  auto app = vm::AppContext::create(f.file("data"), prompter);
  ASSERT_TRUE(app);
  app->documents().append({f.touch("a.docx")});
  vm::RunFrame& frame = app->runFrame();
  std::atomic<bool> entered{false}, done{false};
  bool doneWhenRulesWent = false;
  QObject::connect(&app->replaceRules(), &QObject::destroyed, [&] { doneWhenRulesWent = done.load(); });
  vm::Operation op{QStringLiteral("docR"), QStringLiteral("文档替换"), 0, [&](const QString&) {
                     entered = true;
                     for (int i = 0; i < 500 && !frame.stopRequested(); ++i) QThread::msleep(10);
                     done = true;
                     return QString();
                   }};
  ASSERT_TRUE(frame.start(op));
  for (int i = 0; i < 5000 && !entered; ++i) QThread::msleep(1);
  app.reset();
  EXPECT_TRUE(doneWhenRulesWent);
}

TEST(HomeOption, FromArgumentLists) {
  auto h = vm::takeHomeOption(QStringList{"prog", "--home", "/a", "x", "--home=/b", "y"});
  EXPECT_EQ(h.home, "/b");
  EXPECT_EQ(h.rest, (QStringList{"prog", "x", "y"}));
  EXPECT_TRUE(h.error.isEmpty());
  h = vm::takeHomeOption(QStringList{"prog", "--", "--home", "/a"});
  EXPECT_EQ(h.home, "");
  EXPECT_EQ(h.rest, (QStringList{"prog", "--", "--home", "/a"}));
  h = vm::takeHomeOption(QStringList{"prog", "--home"});
  EXPECT_FALSE(h.error.isEmpty());
}

TEST(HomeOption, FromArgv) {
  char a0[] = "vellumark", a1[] = "-platform", a2[] = "offscreen", a3[] = "--home", a4[] = "/tmp/h", a5[] = "--x";
  char* argv[] = {a0, a1, a2, a3, a4, a5, nullptr};
  int argc = 6;
  QString error;
  EXPECT_EQ(vm::takeHomeOption(argc, argv, &error), "/tmp/h");
  EXPECT_TRUE(error.isEmpty());
  ASSERT_EQ(argc, 4);
  EXPECT_STREQ(argv[1], "-platform");
  EXPECT_STREQ(argv[2], "offscreen");
  EXPECT_STREQ(argv[3], "--x");
  EXPECT_EQ(argv[4], nullptr);
}

// The desktop program's settings come back at the next start, made before or after the file was
// read; a damaged file is set aside with a message and the defaults are used.
TEST(KeptSettings, ComeBackAtTheNextStartAndADamagedFileIsSetAside) {
  Folder f;
  vm::RecordingPrompter prompter;
  {
    auto app = vm::AppContext::create(f.file("data"), prompter);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->keepSettings(), QString());
    app->store<vm::ops::PrintSettings>().copies = "3 'x\"";
    ASSERT_FALSE(app->replaceRules().add("甲方", "委托方"));
    app->replaceRules().setTicked(0, false);
    ASSERT_FALSE(app->store<vm::rename::NameRules>().add("旧", "新"));
    ASSERT_TRUE(app->saveKeptSettings());
  }
  {
    auto app = vm::AppContext::create(f.file("data"), prompter);
    vm::ops::PrintSettings& made = app->store<vm::ops::PrintSettings>();  // before the file is read
    EXPECT_EQ(app->keepSettings(), QString());
    EXPECT_EQ(made.copies, "3 'x\"");
    EXPECT_EQ(app->replaceRules().rules(), (QList<vm::rules::Rule>{{"甲方", "委托方", false}}));
    EXPECT_EQ(app->store<vm::rename::NameRules>().count(), 1);  // made after
  }
  {
    QFile file(f.file("data") + "/settings.json");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"print\": ");
  }
  auto app = vm::AppContext::create(f.file("data"), prompter);
  const QString problem = app->keepSettings();
  EXPECT_TRUE(problem.contains("已损坏")) << problem.toStdString();
  EXPECT_EQ(app->store<vm::ops::PrintSettings>().copies, "1");
  EXPECT_FALSE(QFile::exists(f.file("data") + "/settings.json"));
  EXPECT_EQ(QDir(f.file("data")).entryList({"settings.json.damaged-*"}).size(), 1);
}
