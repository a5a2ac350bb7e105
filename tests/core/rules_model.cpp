// The content replace rules: the list, the editors' validations in their order, the picture
// reference, and the rule file.

#include <gtest/gtest.h>

#include "rules/replacerules.h"
#include "support/tempdir.h"

using namespace vm::rules;

namespace {

const Refusal kEmptyFind{QStringLiteral("出错！"), QStringLiteral("请输入要替换的内容！")};
const Refusal kSame{QStringLiteral("出错！"), QStringLiteral("要替换的和被替换为内容不允许相同！")};
const Refusal kDuplicate{QStringLiteral("出错！"), QStringLiteral("该规则已被添加过，请不要重复添加！")};

// Counts the changed() signals of a list.
struct ChangeCounter {
  explicit ChangeCounter(ReplaceRules& rules) {
    QObject::connect(&rules, &ReplaceRules::changed, [this] { ++count; });
  }
  int count = 0;
};

QStringList finds(const ReplaceRules& rules) {
  QStringList out;
  for (const Rule& r : rules.rules()) out << r.find;
  return out;
}

}  // namespace

// One list, adds in a row: each accepted (trimmed, ticked, appended) or refused by the first
// check that fails.
TEST(RulesModel, AddChecksInTheirOrder) {
  ReplaceRules rules;
  ChangeCounter spy(rules);
  const std::optional<Refusal> kOk;
  const struct {
    const char* find;
    const char* replacement;
    std::optional<Refusal> result;
  } adds[] = {
      {"  alpha ", " beta  ", kOk},
      {"delete me", "", kOk},          // an empty replacement
      {"", "", kEmptyFind},            // first, even when the rest would fail too
      {"   ", "y", kEmptyFind},
      {"alpha", "alpha", kSame},       // before the duplicate test
      {"abc", "  abc ", kSame},        // equal once trimmed
      {" abc  ", "abc", kSame},
      {"alpha", "z", kDuplicate},
      {"  alpha ", "4", kDuplicate},   // trimmed first
      {"ALPHA", "2", kOk},             // the duplicate test is case-sensitive
      {"ＡＬＰＨＡ", "3", kOk},        // and full-width differs
  };
  for (const auto& a : adds) {
    SCOPED_TRACE(std::string(a.find) + " -> " + a.replacement);
    EXPECT_EQ(rules.add(QString::fromUtf8(a.find), QString::fromUtf8(a.replacement)), a.result);
  }
  EXPECT_EQ(finds(rules), (QStringList{"alpha", "delete me", "ALPHA", "ＡＬＰＨＡ"}));
  EXPECT_EQ(rules.at(0), (Rule{QStringLiteral("alpha"), QStringLiteral("beta"), true}));
  EXPECT_TRUE(rules.at(1).replacement.isEmpty());
  EXPECT_EQ(rules.tickedCount(), 4);
  EXPECT_EQ(spy.count, 4);
  EXPECT_EQ(rules.indexOf(QStringLiteral("ALPHA")), 2);
  EXPECT_EQ(rules.indexOf(QStringLiteral("Alpha")), -1);
}

TEST(RulesModel, TrimmingRemovesBlanksOnly) {
  EXPECT_EQ(trimBlanks(QStringLiteral("  a b  ")), QStringLiteral("a b"));
  EXPECT_EQ(trimBlanks(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
  EXPECT_EQ(trimBlanks(QStringLiteral("　全角　")), QStringLiteral("　全角　"));
  EXPECT_EQ(trimBlanks(QStringLiteral("   ")), QString());
}

TEST(RulesModel, ModifyChangesOnlyTheReplacement) {
  ReplaceRules rules;
  ASSERT_FALSE(rules.add(QStringLiteral("a"), QStringLiteral("b")));
  rules.setTicked(0, false);
  EXPECT_FALSE(rules.modify(0, QStringLiteral("  c ")));
  EXPECT_EQ(rules.at(0), (Rule{QStringLiteral("a"), QStringLiteral("c"), false}));
  EXPECT_EQ(rules.modify(0, QStringLiteral(" a ")), kSame);
  EXPECT_EQ(rules.at(0).replacement, QStringLiteral("c"));
  EXPECT_FALSE(rules.modify(0, QString()));
  EXPECT_TRUE(rules.at(0).replacement.isEmpty());
}

TEST(RulesModel, TicksAndDeletion) {
  ReplaceRules rules;
  for (const char* f : {"r1", "r2", "r3", "r4", "r5", "r6"}) ASSERT_FALSE(rules.add(QString::fromLatin1(f), QString()));
  rules.setAllTicked(false);
  EXPECT_EQ(rules.tickedCount(), 0);
  rules.invertTicks();
  EXPECT_EQ(rules.tickedCount(), 6);
  rules.setTicked(0, false);
  rules.setTicked(3, false);
  rules.setTicked(5, false);
  rules.invertTicks();  // now r1, r4, r6 ticked
  EXPECT_EQ(rules.tickedCount(), 3);
  // "删 除" with three ticked rules removes the three and keeps the order of the rest.
  EXPECT_EQ(rules.removeTicked(), 3);
  EXPECT_EQ(finds(rules), (QStringList{"r2", "r3", "r5"}));
  // Nothing ticked: nothing removed, no change signalled.
  rules.setAllTicked(false);
  ChangeCounter spy(rules);
  EXPECT_EQ(rules.removeTicked(), 0);
  EXPECT_EQ(spy.count, 0);
  rules.clear();
  EXPECT_EQ(rules.count(), 0);
}

TEST(RulesModel, PictureReference) {
  EXPECT_TRUE(isPictureReference(QStringLiteral("[img]/p/a.jpg[/img]")));
  EXPECT_TRUE(isPictureReference(QStringLiteral("[/img]x[img]")));
  EXPECT_FALSE(isPictureReference(QStringLiteral("[img]/p/a.jpg")));
  EXPECT_FALSE(isPictureReference(QStringLiteral("/p/a.jpg[/img]")));
  EXPECT_FALSE(isPictureReference(QStringLiteral("[IMG]/p/a.jpg[/IMG]")));  // case-sensitive
  EXPECT_EQ(picturePath(QStringLiteral("x[img]C:\\p.jpg[/img]")), QStringLiteral("xC:\\p.jpg"));
  EXPECT_EQ(picturePath(QStringLiteral("[img]a[img]b[/img][/img]")), QStringLiteral("ab"));
  EXPECT_EQ(pictureReference(QStringLiteral("/p/a.jpg")), QStringLiteral("[img]/p/a.jpg[/img]"));
}

// --- rule files --------------------------------------------------------------------------------

TEST(RuleFile, ReadsRulesTicksCommentsAndPictures) {
  ReplaceRules rules;
  const QString text = QStringLiteral(
      "\xFEFF# a comment line\r\n"
      "甲\t乙\r\n"
      "\n"
      "old\tnew\t0\n"
      "gone\t\n"
      "logo\t[img]/pics/logo.png[/img]\t1\n");
  ASSERT_FALSE(importRules(text, rules));
  ASSERT_EQ(rules.count(), 4);
  EXPECT_EQ(rules.at(0), (Rule{QStringLiteral("甲"), QStringLiteral("乙"), true}));
  EXPECT_EQ(rules.at(1), (Rule{QStringLiteral("old"), QStringLiteral("new"), false}));
  EXPECT_EQ(rules.at(2), (Rule{QStringLiteral("gone"), QString(), true}));
  EXPECT_TRUE(isPictureReference(rules.at(3).replacement));
}

// A refused line or a line of the wrong form: its number, and nothing of the file is taken.
TEST(RuleFile, RefusedOrMalformedLineNamesItsLineAndChangesNothing) {
  ReplaceRules rules;
  ASSERT_FALSE(rules.add(QStringLiteral("keep"), QStringLiteral("me")));
  const struct {
    const char* text;
    int line;
    std::optional<Refusal> refusal;  // none: a format error, only its title checked
  } files[] = {
      {"a\tb\nc\tc\n", 2, kSame},
      {"a\tb\na\tc\n", 2, kDuplicate},
      {"keep\tother\n", 1, kDuplicate},  // a duplicate of an existing rule
      {"  \tx\n", 1, kEmptyFind},
      {"no tab here\n", 1, {}},
      {"a\tb\tc\n", 1, {}},
      {"a\tb\t0\textra\n", 1, {}},
  };
  for (const auto& f : files) {
    auto error = importRules(QString::fromUtf8(f.text), rules);
    ASSERT_TRUE(error) << f.text;
    EXPECT_EQ(error->line, f.line) << f.text;
    EXPECT_EQ(error->refusal.title, QStringLiteral("出错！")) << f.text;
    if (f.refusal) {
      EXPECT_EQ(error->refusal, *f.refusal) << f.text;
    }
  }
  EXPECT_EQ(importRules(QString::fromUtf8(files[0].text), rules)->toString(),
            QStringLiteral("出错！: 要替换的和被替换为内容不允许相同！（第 2 行）"));
  EXPECT_EQ(finds(rules), QStringList{"keep"});
}

TEST(RuleFile, DuplicatesAreSkippedAndToldWhereTheCallerListens) {
  ReplaceRules rules;
  ASSERT_FALSE(rules.add(QStringLiteral("keep"), QStringLiteral("me")));
  QStringList skipped;
  ASSERT_FALSE(importRules(QStringLiteral("a\tb\nkeep\tother\na\tc\n"), rules, &skipped));
  EXPECT_EQ(finds(rules), (QStringList{"keep", "a"}));
  EXPECT_EQ(skipped, (QStringList{QStringLiteral("第 2 行“keep”与已有规则重复，已跳过"),
                                  QStringLiteral("第 3 行“a”与已有规则重复，已跳过")}));
}

TEST(RuleFile, ReadsGb18030AndRefusesOtherBytesAndMissingFiles) {
  vm::test::TempDir dir;
  ReplaceRules rules;
  vm::test::writeFile(dir.file("ansi.txt"), "\xBC\xD7\xB7\xBD\t\xCE\xAF\xCD\xD0\xB7\xBD\r\n");  // 甲方 -> 委托方
  ASSERT_FALSE(importRuleFile(QString::fromStdString(dir.file("ansi.txt").string()), rules));
  EXPECT_EQ(rules.at(0), (Rule{QStringLiteral("甲方"), QStringLiteral("委托方"), true}));
  rules.clear();
  vm::test::writeFile(dir.file("latin1.txt"), "caf\xE9\tx\n");
  auto error = importRuleFile(QString::fromStdString(dir.file("latin1.txt").string()), rules);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->line, 0);
  error = importRuleFile(QString::fromStdString(dir.file("missing.txt").string()), rules);
  ASSERT_TRUE(error);
  EXPECT_EQ(rules.count(), 0);
}

TEST(RuleFile, ExportImportRoundTrip) {
  vm::test::TempDir dir;
  ReplaceRules rules;
  ASSERT_FALSE(rules.add(QStringLiteral("一"), QStringLiteral("二")));
  ASSERT_FALSE(rules.add(QStringLiteral("pic"), pictureReference(QStringLiteral("/a b/c.jpg"))));
  ASSERT_FALSE(rules.add(QStringLiteral("del"), QString()));
  rules.setTicked(1, false);
  const QString path = QString::fromStdString(dir.file("rules.txt").string());
  ASSERT_TRUE(exportRuleFile(path, rules.rules()));
  EXPECT_EQ(vm::test::readFile(dir.file("rules.txt")), "一\t二\npic\t[img]/a b/c.jpg[/img]\t0\ndel\t\n");
  ReplaceRules back;
  ASSERT_FALSE(importRuleFile(path, back));
  EXPECT_EQ(back.rules(), rules.rules());
}

TEST(RuleFile, ExportRefusesRulesThatAreNotOneLine) {
  Refusal problem;
  EXPECT_FALSE(exportRules({Rule{QStringLiteral("#tag"), QStringLiteral("x"), true}}, &problem));
  EXPECT_EQ(problem.title, QStringLiteral("出错！"));
  EXPECT_TRUE(problem.text.contains(QStringLiteral("#tag")));
  EXPECT_FALSE(exportRules({Rule{QStringLiteral("a\tb"), QStringLiteral("x"), true}}, &problem));
  EXPECT_FALSE(exportRules({Rule{QStringLiteral("a"), QStringLiteral("x\ny"), true}}, &problem));
  EXPECT_TRUE(exportRules({Rule{QStringLiteral("a#"), QStringLiteral("#x"), true}}));
}
