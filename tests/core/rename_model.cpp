// The rename settings and filename rules: tag insertion, the ".doc" ending, the checks in
// their order, the rule editors' checks and the rule file; names made safe and cut to fit.

#include <gtest/gtest.h>

#include "rename/namesettings.h"
#include "rename/renamer.h"
#include "support/tempdir.h"

using namespace vm;
using namespace vm::rename;

TEST(RenameSettings, TagInsertionAndDocEnding) {
  struct Case {
    QString text;
    int caret;
    QString tag, want;
    int wantCaret;
  } cases[] = {
      {"abcdef", 3, kTagNumber, "abc[$ID$]def", 9},
      {"abc", 0, kTagYear, "[$YY$]abc", 6},
      {"  ", 1, kTagTitle, kTagTitle, 10},
  };
  for (const Case& c : cases) {
    const TagInsertion t = insertTag(c.text, c.caret, c.tag);
    EXPECT_EQ(t.text, c.want);
    EXPECT_EQ(t.caret, c.wantCaret) << c.text.toStdString();
  }
  EXPECT_EQ(withDocSuffix("[$YY$]-[$ID$]"), "[$YY$]-[$ID$].doc");
  EXPECT_EQ(withDocSuffix("x.DOCX"), "x.DOCX");
  EXPECT_EQ(withDocSuffix("  "), "  ");
}

TEST(RenameSettings, ChecksInOrderWithTheirFields) {
  auto settings = [](QString pattern, QString folder = "/tmp") {
    RenameSettings s;
    s.pattern = pattern;
    s.folder = folder;
    return s;
  };
  auto title = [&](bool numbered, QString h, bool offsets, QString s, QString e) {
    RenameSettings r = settings("[$Titile$].doc");
    r.chkFile = {!numbered, numbered};
    r.chkZfkswz = {!offsets, offsets};
    r.h = h, r.s = s, r.e = e;
    return r;
  };
  struct Case {
    RenameSettings s;
    QString text, field;  // empty: accepted
  } cases[] = {
      {settings("a.doc", " "), "请选择文档保存路径！", "txtSavePath"},
      {settings("  "), "请输入文档名！", "txtRName"},
      {settings("a?.doc"), "文档名包含非法字符，请重新输入！", "txtRName"},
      {settings("a/b.doc"), "文档名包含非法字符，请重新输入！", "txtRName"},
      {settings("a\\b:c.doc"), {}, {}},
      {title(true, " ", false, {}, {}), "文章行数不能为空！", "txtH"},
      {title(true, "x", false, {}, {}), "文章行数应为数字！", "txtH"},
      {title(false, "x", true, "", ""), "标题开始字符位置不能为空！", "txtS"},
      {title(false, "", true, "1", ""), "标题结束字符位置不能为空！", "txtE"},
      {title(false, "", true, "a", "b"), "标题开始字符位置应为数字！", "txtS"},
      {title(false, "", true, "1", "b"), "标题结束字符位置应为数字！", "txtE"},
      {title(false, "", true, "10", "9"), "标题开始字符位置不能大于结束字符位置！", "txtS"},
      {title(true, "2", true, "9", "10"), {}, {}},
  };
  for (const Case& c : cases) {
    const auto r = checkSettings(c.s);
    EXPECT_EQ(r ? r->text : QString(), c.text) << c.s.pattern.toStdString();
    EXPECT_EQ(r ? r->field : QString(), c.field);
  }
  // The title fields count only with the title tag.
  RenameSettings noTitle = title(true, "x", true, "", "");
  noTitle.pattern = "a.doc";
  EXPECT_FALSE(checkSettings(noTitle));
}

TEST(NameRules, EditorChecksInOrder) {
  NameRules rules;
  ASSERT_FALSE(rules.add(" 甲 ", "乙"));
  struct Case {
    QString f, t, title, text;
  } cases[] = {
      {" ", "x", "请填写相关内容", "请输入要替换的内容！"},
      {"x", " ", "请填写相关内容", "请输入被替换为的内容！"},
      {"x", " x ", "请填写相关内容", "要替换的和被替换为内容不允许相同！"},
      {"a|b", "c", "出错！", "被替换内容包含非法字符，请重新输入！"},
      {"a", "c/d", "出错！", "替换内容包含非法字符，请重新输入！"},
      {"甲", "丙", "出错！", "该规则已被添加过，请不要重复添加！"},  // another replacement, same find
  };
  for (const Case& c : cases) {
    const auto r = rules.add(c.f, c.t);
    ASSERT_TRUE(r) << c.f.toStdString();
    EXPECT_EQ(r->title, c.title);
    EXPECT_EQ(r->text, c.text);
  }
  EXPECT_EQ(rules.count(), 1);
  // Modify checks only the replacement (no character check).
  EXPECT_EQ(rules.modify(0, " ")->text, "请输入被替换为的内容！");
  EXPECT_EQ(rules.modify(0, "甲")->text, "要替换的和被替换为内容不允许相同！");
  EXPECT_FALSE(rules.modify(0, "a*b"));
  EXPECT_EQ(rules.at(0).replacement, "a*b");

  // The rule file goes through the same checks, all or nothing.
  test::TempDir dir;
  test::writeFile(dir.file("r.txt"), "x\ty\n合同\t协议/草稿\n");
  const auto error = rules::importRuleFile(QString::fromStdString(dir.file("r.txt").string()), rules);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->line, 2);
  EXPECT_EQ(rules.count(), 1);
}

TEST(RenameNames, TitleRulesCutsAndNoTitle) {
  RenameSettings whole;
  const QList<rules::Rule> chain{{"a", "b", true}, {"b", "c", true}, {"z", "y", false}};
  EXPECT_EQ(applyRules("abz", chain), "ccz");
  EXPECT_EQ(makeTitle("ab\r\n标\n题\r", chain, whole), "cc标题");
  EXPECT_EQ(makeTitle("\r", {}, whole), kNoTitle);
  EXPECT_EQ(makeTitle(QString(60, u'字'), {}, whole), QString(50, u'字'));
  // A cut never splits a character outside the BMP.
  EXPECT_EQ(makeTitle(QString(49, u'x') + QString::fromUcs4(U"😀"), {}, whole), QString(49, u'x'));
  RenameSettings offsets;
  offsets.chkZfkswz = {false, true};
  offsets.s = "3", offsets.e = "5";
  EXPECT_EQ(makeTitle("abcdefgh", {}, offsets), "abc");
}

TEST(RenameNames, HostileNamesStayOneEntryWithinTheLimit) {
  EXPECT_EQ(safeName(QString("../../x")), ".._.._x");
  EXPECT_EQ(safeName(QString("a/b") + QChar(0) + "c\td"), "a_b_c_d");
  EXPECT_EQ(fitName("", 1, "", 255), "_.");
  EXPECT_EQ(fitName(".", 1, "", 255), "_..");
  EXPECT_EQ(fitName("memo", 3, "doc", 255), "memo3.doc");
  const QString longBase = QString(300, u'标');  // 900 bytes
  for (int k : {1, 2, 123}) {
    const QString name = fitName(longBase, k, "docx", 255);
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_TRUE(name.endsWith((k >= 2 ? QString::number(k) : QString()) + ".docx")) << name.toStdString();
  }
  EXPECT_LE(fitName("a", 1, QString(300, u'x'), 255).toUtf8().size(), 255);
}
