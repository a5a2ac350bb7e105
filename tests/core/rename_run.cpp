// Renaming documents: names from the pattern and the title, free names, hostile titles kept
// inside the folder, the source unchanged, the preview equal to the run; the start checks in
// their order; the command line with --preview.

#include <gtest/gtest.h>

#include <QTextStream>

#include <filesystem>

#include "app/appcontext.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "cli/registry.h"
#include "rename/renamer.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/error.h"

using namespace vm;
using namespace vm::rename;
using namespace vm::test;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

class Rename : public ::testing::Test {
 protected:
  Rename() { fs::create_directories(out()); }
  fs::path out() const { return dir_.file("out"); }
  fs::path doc(const std::string& name, const std::vector<std::string>& paragraphs) {
    std::string body;
    for (const auto& t : paragraphs) body += p(r(t));
    fs::create_directories(dir_.file("in"));
    return DocxBuilder().body(body).write(dir_.file("in") / name);
  }
  RenameSettings settings(const QString& pattern) const {
    RenameSettings s;
    s.pattern = pattern;
    s.folder = q(out());
    return s;
  }
  // Renames each document with one renamer; returns the new file names.
  QStringList run(const RenameSettings& s, const std::vector<fs::path>& docs, bool write = true,
                  QList<rules::Rule> rules = {{"不存在", "x", true}}) {
    Renamer renamer(s, rules, write);
    renamer.setClock([] { return QDate(2024, 3, 7); });
    QStringList names;
    for (const auto& d : docs) {
      const QString target = renamer.rename(q(d));
      EXPECT_EQ(fs::path(target.toStdString()).parent_path(), out());
      names << QString::fromStdString(fs::path(target.toStdString()).filename().string());
    }
    return names;
  }
  QStringList written() const {
    QStringList names;
    for (const auto& e : fs::directory_iterator(out())) names << QString::fromStdString(e.path().filename().string());
    names.sort();
    return names;
  }
  TempDir dir_;
};

}  // namespace

TEST_F(Rename, PatternTagsNumbersAndFreeNames) {
  auto memo = doc("memo.docx", {"x"});
  const std::string before = readFile(memo);
  EXPECT_EQ(run(settings("[$YY$]-[$MM$]-[$DD$]-[$ID$]-[$UnCha$].doc"), {memo, memo}),
            (QStringList{"2024-3-7-1-memo.doc", "2024-3-7-2-memo.doc"}));
  // Same filled name three times: name, name2, name3; the existing files are not touched.
  EXPECT_EQ(run(settings("[$UnCha$].doc"), {memo, memo, memo}), (QStringList{"memo.doc", "memo2.doc", "memo3.doc"}));
  // The written example: a second run finds its name taken.
  for (const char* want : {"2024-1-memo.doc", "2024-1-memo2.doc"})
    EXPECT_EQ(run(settings("[$YY$]-[$ID$]-[$UnCha$].doc"), {memo}), QStringList{want});
  EXPECT_EQ(readFile(memo), before);
  EXPECT_EQ(readFile(out() / "memo.doc"), before);  // a copy, not a rewrite
  // Without an extension the document keeps its own; without the number tag no number is used.
  Renamer renamer(settings("[$UnCha$]-新"), {{"新", "旧", true}}, true);
  EXPECT_TRUE(renamer.rename(q(memo)).endsWith("/memo-旧.docx"));
  EXPECT_EQ(renamer.nextNumber(), 1);
}

TEST_F(Rename, TitleByParagraphAndOffsets) {
  auto d = doc("d.docx", {"第一段标题", "ab第二段", std::string(60, 'x')});
  auto with = [&](int para, QString s = {}, QString e = {}) {
    RenameSettings st = settings("[$Titile$].docx");
    if (para) st.chkFile = {false, true}, st.h = QString::number(para);
    if (!s.isEmpty()) st.chkZfkswz = {false, true}, st.s = s, st.e = e;
    return st;
  };
  const QList<rules::Rule> chain{{"a", "b", true}, {"b", "c", true}};
  EXPECT_EQ(run(with(0), {d}, false), QStringList{"第一段标题.docx"});
  EXPECT_EQ(run(with(2), {d}, false, chain), QStringList{"cc第二段.docx"});
  EXPECT_EQ(run(with(3), {d}, false), QStringList{QString(50, u'x') + ".docx"});
  EXPECT_EQ(run(with(3, "0", "10"), {d}, false), QStringList{QString(10, u'x') + ".docx"});
  EXPECT_EQ(run(with(1, "1", "3"), {d}, false), QStringList{"一段.docx"});
  // Beyond the document: the no-title text (cut by E − S + 1 like any title).
  EXPECT_EQ(run(with(9), {d}, false), QStringList{kNoTitle + ".docx"});
  EXPECT_EQ(run(with(1, "0", "9999"), {d}, false), QStringList{kNoTitle + ".docx"});
  EXPECT_TRUE(written().isEmpty());
}

TEST_F(Rename, HostileTitlesStayInsideTheFolder) {
  auto a = doc("a.docx", {"../../x"});
  auto b = doc("b.docx", {"a/b"});
  auto c = doc(std::string(200, 'n') + ".docx", {std::string(300, 'n')});
  // Title and twice the old name: 450 bytes and more, cut to the file system's limit.
  const QStringList names = run(settings("[$Titile$]-[$UnCha$]-[$UnCha$]"), {a, b, c});
  EXPECT_EQ(names.mid(0, 2), (QStringList{".._.._x-a-a.docx", "a_b-b-b.docx"}));
  for (const QString& n : written()) EXPECT_LE(n.toUtf8().size(), 255) << n.toStdString();
  EXPECT_EQ(written().size(), 3);
  EXPECT_FALSE(fs::exists(dir_.file("x.docx")));
  // A document the engine cannot read fails before anything is written.
  writeFile(dir_.file("in/broken.docx"), "not a package");
  Renamer renamer(settings("[$UnCha$]"), {}, true);
  EXPECT_THROW(renamer.rename(q(dir_.file("in/broken.docx"))), word::EngineError);
  EXPECT_EQ(written().size(), 3);
}

TEST_F(Rename, PreviewNamesWhatTheRunWrites) {
  auto a = doc("a.docx", {"同名"});
  auto b = doc("b.docx", {"同名"});
  DocxBuilder().body(p(r("old"))).write(out() / "同名.docx");
  const QStringList preview = run(settings("[$Titile$].docx"), {a, b}, false);
  EXPECT_EQ(written(), QStringList{"同名.docx"});
  EXPECT_EQ(run(settings("[$Titile$].docx"), {a, b}), preview);
  EXPECT_EQ(preview, (QStringList{"同名2.docx", "同名3.docx"}));
}

TEST_F(Rename, CorpusDocumentIsCopiedUnchanged) {
  const fs::path source = fs::path(VM_CORPUS_DIR) / "apache-poi/test-data/document/60316.docx";
  if (!fs::exists(source)) GTEST_SKIP() << "corpus not present";
  fs::copy_file(source, dir_.file("real.docx"));
  const std::string before = readFile(dir_.file("real.docx"));
  const QStringList names = run(settings("[$Titile$]-[$UnCha$].docx"), {dir_.file("real.docx")});
  ASSERT_EQ(names.size(), 1);
  EXPECT_TRUE(names[0].endsWith("-real.docx"));
  EXPECT_EQ(readFile(dir_.file("real.docx")), before);
  EXPECT_EQ(readFile(out() / names[0].toStdString()), before);
}

namespace {

struct Cli {
  int code = -1;
  QString out, err;
};

Cli runCli(const TempDir& dir, const QStringList& args) {
  Cli r;
  QTextStream out(&r.out), err(&r.err);
  r.code = cli::run(QStringList{"vellumark-cli", "--home", q(dir.file("home")), "--suffix", "docx"} + args, out, err);
  return r;
}

}  // namespace

TEST_F(Rename, CommandLineRefusesInOrderPreviewsAndRuns) {
  auto a = doc("a.docx", {"甲方合同"});
  auto b = doc("b.docx", {"甲方合同"});
  writeFile(dir_.file("rules.txt"), "甲方\t委托方\n");
  writeFile(dir_.file("none.txt"), "甲方\t委托方\t0\n");
  writeFile(dir_.file("bad.txt"), "甲方\t委托/方\n");
  const QStringList base{"--yes", "rename", "--out", q(out())};
  const QString rules = q(dir_.file("rules.txt"));
  struct Case {
    QStringList args;
    int code;
    QString err;
  } cases[] = {
      {{"--pattern", "x.doc", "--rules", rules, "--out", q(dir_.file("missing"))}, 1, "出错了！: 文档保存路径不存在！"},
      {{"--pattern", "x?.doc", "--rules", rules}, 1, "出错！: 文档名包含非法字符，请重新输入！"},
      {{"--pattern", "[$Titile$]", "--rules", rules, "--title-range", "5", "2"}, 1,
       "出错！: 标题开始字符位置不能大于结束字符位置！"},
      {{"--pattern", "x.doc", "--rules", q(dir_.file("none.txt"))}, 1, "出错了！: 请勾选你要替换的规则！"},
      {{"--pattern", "x.doc", "--rules", q(dir_.file("bad.txt"))}, 1, "替换内容包含非法字符，请重新输入！"},
      {{"--pattern", "x.doc", "--rules", rules, "--title-range", "1"}, 2, "rename needs PATH"},
  };
  for (const Case& c : cases) {
    const Cli r = runCli(dir_, base + c.args + QStringList{q(a)});
    EXPECT_EQ(r.code, c.code) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
  }
  const QStringList args = base + QStringList{"--pattern", "[$Titile$]-[$ID$].docx", "--rules", rules,
                                              "--title-range", "0", "2", q(a), q(b)};
  const Cli preview = runCli(dir_, args + QStringList{"--preview"});
  EXPECT_EQ(preview.code, 0) << preview.err.toStdString();
  EXPECT_TRUE(preview.out.contains(q(a) + "：将另存为 " + q(out() / "委托方-1.docx"))) << preview.out.toStdString();
  EXPECT_TRUE(preview.out.contains(q(b) + "：将另存为 " + q(out() / "委托方-2.docx")));
  EXPECT_TRUE(written().isEmpty());
  const Cli done = runCli(dir_, args);
  EXPECT_EQ(done.code, 0) << done.err.toStdString();
  EXPECT_EQ(written(), (QStringList{"委托方-1.docx", "委托方-2.docx"}));
}

TEST_F(Rename, WindowStartListsThePreviewBeforeTheQuestion) {
  RecordingPrompter prompter;
  auto app = AppContext::create(q(dir_.file("home")), prompter);
  ASSERT_TRUE(app);
  auto a = doc("a.docx", {"标题"});
  app->documents().append(QStringList{q(a)});
  app->store<RenameSettings>() = settings("[$Titile$].docx");
  ASSERT_FALSE(app->store<NameRules>().add("x", "y"));
  bool confirm = false;
  QStringList seen;
  OperationEnv env{*app, prompter, {}, [&](const QString&, const DocumentRoutine& preview) {
                     seen << preview(q(a));
                     return confirm;
                   }};
  const OperationDecl& decl = *operations().find("docRName");
  EXPECT_EQ(startOperation(decl, env, word::installedFeatures()), StartOutcome::Cancelled);
  EXPECT_TRUE(prompter.empty());
  EXPECT_TRUE(written().isEmpty());
  confirm = true;
  ASSERT_EQ(startOperation(decl, env, word::installedFeatures()), StartOutcome::Started);
  app->runFrame().waitUntilSettled(30000);
  EXPECT_EQ(seen, QStringList(2, "将另存为 " + q(out() / "标题.docx")));
  EXPECT_EQ(prompter.last().title, "文档替换");
  EXPECT_EQ(written(), QStringList{"标题.docx"});
}
