// Replace by rules on real .docx packages, through the run frame's worker: rule order, empty
// replacements, picture rules, case, the stories left alone, ticks, failures, pause and
// continue, dry runs; and the start command's checks in their order.

#include <gtest/gtest.h>

#include <QFile>
#include <QMetaObject>

#include <atomic>
#include <filesystem>

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/errorlog.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "app/runframe.h"
#include "ops/replace.h"
#include "rules/replacerules.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "support/testimages.h"

using namespace vm;
using namespace vm::test;
using rules::Rule;

namespace {

QString q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

int count(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (auto pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + needle.size())) ++n;
  return n;
}

// A document list, an error log and a run frame over a temporary folder.
class ReplaceRun : public ::testing::Test {
 protected:
  ReplaceRun() : log_(q(dir_.file("log") / "log.txt")), frame_(list_, log_) {
    std::filesystem::create_directories(dir_.file("log"));
    registerContinuations(frame_);
  }

  // A document whose body holds one paragraph per text.
  std::filesystem::path doc(const std::string& name, const std::vector<std::string>& paragraphs) {
    std::string body;
    for (const auto& t : paragraphs) body += p(r(t));
    return DocxBuilder().body(body).write(dir_.file(name));
  }
  void add(const std::filesystem::path& path) { list_.append(QStringList{q(path)}); }
  void rule(const char* find, const QString& replacement) {
    ASSERT_FALSE(rules_.add(QString::fromUtf8(find), replacement)) << find;
  }
  void rule(const char* find, const char* replacement) { rule(find, QString::fromUtf8(replacement)); }
  std::filesystem::path picture() {
    auto path = dir_.file("pic.png");
    if (!std::filesystem::exists(path)) writeFile(path, png(40, 20));
    return path;
  }

  // Runs the operation over the list, as the start command's run start does.
  const RunSummary& run(bool save = true) {
    QString refusal;
    EXPECT_TRUE(frame_.start(ops::replaceOperation(rules_, save), &refusal)) << refusal.toStdString();
    EXPECT_TRUE(frame_.waitUntilSettled(60000));
    return frame_.lastSummary();
  }
  // Starts the replace, paused after the first document.
  void startPausingAfterTheFirst() {
    Operation op = ops::replaceOperation(rules_);
    auto inner = op.perDocument;
    op.perDocument = [this, inner](const QString& path) {
      QString line = inner(path);
      if (calls_++ == 0)
        QMetaObject::invokeMethod(&frame_, [this] { frame_.pauseOrContinue(); }, Qt::BlockingQueuedConnection);
      return line;
    };
    ASSERT_TRUE(frame_.start(op));
    ASSERT_TRUE(frame_.waitUntilSettled(60000));
    ASSERT_EQ(frame_.state(), RunFrame::State::Paused);
  }
  static std::string body(const std::filesystem::path& path) { return partText(readPart(path, "word/document.xml")); }

  TempDir dir_;
  DocumentList list_;
  ErrorLog log_;
  RunFrame frame_;
  rules::ReplaceRules rules_;
  std::atomic<int> calls_{0};
};

}  // namespace

// One document, the rules in order, one run: the text saved and the summary line.
TEST_F(ReplaceRun, RuleCases) {
  struct R {
    const char* find;
    const char* replacement;
    bool ticked = true;
  };
  const std::string kUnchanged = "<byte for byte>";
  struct Case {
    const char* what;
    std::vector<std::string> paragraphs;
    std::vector<R> rules;
    bool save;
    std::string body;  // kUnchanged: the file as it was
    const char* line;  // the summary line, nullptr: not checked
  } cases[] = {
      {"in list order on each other's result", {"a"}, {{"a", "b"}, {"b", "c"}}, true, "c", nullptr},
      {"never on an earlier rule's result", {"a"}, {{"b", "c"}, {"a", "b"}}, true, "b", nullptr},
      {"empty replacement deletes", {"x1x2x", "no match", "xx"}, {{"x", ""}}, true, "12\nno match\n", "替换 5 处"},
      {"any case", {"word Word WORD wOrD"}, {{"word", "doc"}}, true, "doc Doc DOC doc", "替换 4 处"},
      {"unticked rule skipped even when first", {"ab"}, {{"a", "x", false}, {"b", "y"}}, true, "ay", nullptr},
      {"no match", {"nothing to see"}, {{"absent", "x"}}, true, kUnchanged, "替换 0 处"},
      {"dry run counts without saving", {"a a a"}, {{"a", "b"}}, false, kUnchanged, "替换 3 处"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto d = doc("case" + std::to_string(n++) + ".docx", c.paragraphs);
    const std::string before = readFile(d);
    rules_.clear();
    for (const R& x : c.rules) {
      rule(x.find, x.replacement);
      rules_.setTicked(rules_.count() - 1, x.ticked);
    }
    list_.clear();
    add(d);
    const RunSummary& s = run(c.save);
    if (c.line) EXPECT_EQ(s.results.value(0).message, QString::fromUtf8(c.line));
    if (c.body == kUnchanged) EXPECT_EQ(readFile(d), before);
    else EXPECT_EQ(body(d), c.body);
  }
}

// A picture rule replaces every occurrence and later rules still apply; where its text does not
// occur it is passed over and the document saved all the same.
TEST_F(ReplaceRun, PictureRuleReplacesEveryOccurrenceAndLaterRulesStillApply) {
  auto d = doc("d.docx", {"logo here", "and logo yonder"});
  auto without = doc("without.docx", {"plain here"});
  rule("logo", rules::pictureReference(q(picture())));
  rule("here", "HERE!");
  add(d);
  add(without);
  const RunSummary& s = run();
  ASSERT_EQ(s.failures(), 0) << s.text().toStdString();
  EXPECT_EQ(s.results.value(0).message, QStringLiteral("替换 3 处"));
  EXPECT_EQ(s.results.value(1).message, QStringLiteral("替换 1 处"));
  const std::string xml = readPart(d, "word/document.xml");
  EXPECT_EQ(count(xml, "<w:drawing"), 2);
  EXPECT_EQ(partText(xml).find("logo"), std::string::npos);
  EXPECT_NE(partText(xml).find("HERE!"), std::string::npos);
  bool media = false;
  for (const auto& name : partNames(d)) media = media || name.rfind("word/media/", 0) == 0;
  EXPECT_TRUE(media);
  EXPECT_EQ(body(without), "plain HERE!");
  EXPECT_EQ(count(readPart(without, "word/document.xml"), "<w:drawing"), 0);
}

TEST_F(ReplaceRun, UnreadablePictureMattersOnlyWhereItsTextOccurs) {
  const QString missing = rules::pictureReference(q(dir_.file("no-such-picture.png")));
  auto without = doc("without.docx", {"plain text"});
  auto with = doc("with.docx", {"logo and plain text"});
  const std::string withBefore = readFile(with);
  rule("logo", missing);
  rule("plain", "fancy");
  add(without);
  add(with);
  const RunSummary& s = run();
  // No occurrence: the picture is never needed, the later rule applies.
  EXPECT_EQ(body(without), "fancy text");
  // An occurrence: the document fails and stays as it was; the run went on to it anyway.
  ASSERT_EQ(s.failures(), 1);
  EXPECT_EQ(s.failed()[0].path, q(with));
  EXPECT_EQ(readFile(with), withBefore);
}

TEST_F(ReplaceRun, HeadersFootersAndTextBoxesAreLeftAlone) {
  const std::string vmlBox =
      "<w:r><w:pict><v:shape id=\"tb1\" style=\"width:100pt;height:40pt\"><v:textbox><w:txbxContent>" +
      p(r("alpha in vml box")) + "</w:txbxContent></v:textbox></v:shape></w:pict></w:r>";
  const std::string wpsBox =
      "<w:r><w:drawing><wp:inline><wp:extent cx=\"914400\" cy=\"457200\"/><wp:docPr id=\"2\" name=\"Text Box 2\"/>"
      "<a:graphic><a:graphicData uri=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\">"
      "<wps:wsp><wps:spPr/><wps:txbx><w:txbxContent>" +
      p(r("alpha in shape")) + "</w:txbxContent></wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic>"
      "</wp:inline></w:drawing></w:r>";
  auto d = DocxBuilder()
               .body(p(r("alpha body ") + vmlBox + wpsBox) + p(r("alpha again")))
               .header(p(r("alpha header")))
               .footer(p(r("alpha footer")))
               .write(dir_.file("d.docx"));
  const std::string header = readPart(d, "word/header1.xml");
  const std::string footer = readPart(d, "word/footer1.xml");
  rule("alpha", "omega");
  add(d);
  const RunSummary& s = run();
  ASSERT_EQ(s.failures(), 0) << s.text().toStdString();
  EXPECT_EQ(s.results.value(0).message, QStringLiteral("替换 2 处"));
  EXPECT_EQ(readPart(d, "word/header1.xml"), header);
  EXPECT_EQ(readPart(d, "word/footer1.xml"), footer);
  const auto paras = paragraphTexts(readPart(d, "word/document.xml"));
  EXPECT_EQ(paras, (std::vector<std::string>{"omega body ", "alpha in vml box", "alpha in shape", "omega again"}));
}

// A corrupt document fails, is logged and stays as it was; a missing one is counted, an
// unticked one passed over; the run goes on.
TEST_F(ReplaceRun, CorruptMissingAndUntickedDocuments) {
  auto bad = dir_.file("bad.docx");
  writeFile(bad, "this is not a zip package");
  auto good = doc("good.docx", {"a"});
  auto unticked = doc("unticked.docx", {"a"});
  rule("a", "b");
  add(bad);
  add(dir_.file("missing.docx"));
  add(good);
  add(unticked);
  list_.setTicked(3, false);
  const RunSummary& s = run();
  EXPECT_EQ(s.handled, 2);
  EXPECT_EQ(s.missing, QStringList{q(dir_.file("missing.docx"))});
  ASSERT_EQ(s.failures(), 1);
  EXPECT_EQ(s.failed()[0].path, q(bad));
  EXPECT_FALSE(s.failed()[0].message.isEmpty());
  EXPECT_EQ(readFile(bad), "this is not a zip package");
  EXPECT_EQ(body(good), "b");
  EXPECT_EQ(body(unticked), "a");
  QFile logFile(log_.logFile());
  ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromUtf8(logFile.readAll()).contains(q(bad)));
}

TEST_F(ReplaceRun, PausedRunContinuesWithItsRunSizeFromTheNextEntry) {
  std::vector<std::filesystem::path> docs;
  for (int i = 0; i < 3; ++i) {
    docs.push_back(doc("d" + std::to_string(i) + ".docx", {"a"}));
    add(docs.back());
  }
  rule("a", "b");
  startPausingAfterTheFirst();
  EXPECT_EQ(frame_.currentIndex(), 0);
  EXPECT_EQ(frame_.operationId(), QStringLiteral("docR"));
  EXPECT_EQ(body(docs[0]), "b");
  EXPECT_EQ(body(docs[1]), "a");

  // The replace run keeps the run size it started with, even if the ticks changed since, and
  // the rules it started with, even if one was edited since.
  list_.setTicked(2, false);
  rules_.modify(0, QStringLiteral("z"));
  frame_.pauseOrContinue();
  ASSERT_TRUE(frame_.waitUntilSettled(60000));
  EXPECT_EQ(frame_.state(), RunFrame::State::Idle);
  EXPECT_EQ(frame_.runSize(), 3);
  EXPECT_EQ(frame_.view().all, 3);
  EXPECT_EQ(body(docs[1]), "b");
  EXPECT_EQ(body(docs[2]), "a");
  EXPECT_EQ(calls_.load(), 2);
}

// --- the start command, through the operation registry -------------------------------------------

namespace {

class StartCommand : public ::testing::Test {
 protected:
  StartCommand() : app_(AppContext::create(q(dir_.file("home")), prompter_)) {}
  StartOutcome start(const word::FeatureSet& installed = word::installedFeatures(), bool busy = false) {
    OperationEnv env{*app_, prompter_, [this](const QString& item) { opened_ << item; }};
    return startOperation(*operations().find(QStringLiteral("docR")), env, installed, [busy] { return busy; });
  }
  std::filesystem::path doc(const char* name) { return DocxBuilder().body(p(r("a"))).write(dir_.file(name)); }
  void refusedWith(const char* text) {
    ASSERT_FALSE(prompter_.empty());
    EXPECT_FALSE(prompter_.last().question);
    EXPECT_EQ(prompter_.last().title, QStringLiteral("出错了！"));
    EXPECT_EQ(prompter_.last().text, QString::fromUtf8(text));
  }

  TempDir dir_;
  RecordingPrompter prompter_;
  std::unique_ptr<AppContext> app_;
  QStringList opened_;
};

}  // namespace

TEST_F(StartCommand, ChecksRefuseInTheirOrder) {
  EXPECT_EQ(start(), StartOutcome::Refused);
  refusedWith("请先配置替换规则！");
  ASSERT_FALSE(app_->replaceRules().add(QStringLiteral("a"), QStringLiteral("b")));
  app_->replaceRules().setAllTicked(false);
  EXPECT_EQ(start(), StartOutcome::Refused);  // the list is empty too
  refusedWith("请勾选你要替换的规则！");
  EXPECT_EQ(opened_, (QStringList{"m_replaceSetup", "m_replaceSetup"}));  // the rule window opens after each
  app_->replaceRules().setAllTicked(true);
  EXPECT_EQ(start(), StartOutcome::Refused);
  refusedWith("请先添加文档，并勾选你要操作的文档！");
  app_->documents().append(QStringList{q(doc("d.docx"))});
  app_->documents().setAllTicked(false);
  EXPECT_EQ(start(), StartOutcome::Refused);
  refusedWith("请先添加文档，并勾选你要操作的文档！");
  EXPECT_EQ(opened_.size(), 2);
  // Before every check: a scan filling the list, and engines that lack what replace needs.
  app_->documents().setAllTicked(true);
  EXPECT_EQ(start(word::installedFeatures(), true), StartOutcome::Busy);
  refusedWith("正在添加文档，请等待文档列表添加完成后再开始操作！");
  EXPECT_EQ(start({}), StartOutcome::Unsupported);
  EXPECT_TRUE(prompter_.last().text.contains(QStringLiteral("文档替换"))) << prompter_.last().text.toStdString();
  EXPECT_EQ(app_->runFrame().state(), RunFrame::State::Idle);
}

TEST_F(StartCommand, CancelChangesNothingAndOkReplacesFromZero) {
  auto d = doc("d.docx");
  const std::string before = readFile(d);
  ASSERT_FALSE(app_->replaceRules().add(QStringLiteral("a"), QStringLiteral("b")));
  app_->documents().append(QStringList{q(d)});
  prompter_.answer = false;
  EXPECT_EQ(start(), StartOutcome::Cancelled);
  ASSERT_EQ(prompter_.entries.size(), 1);
  EXPECT_TRUE(prompter_.last().question);
  EXPECT_EQ(prompter_.last().title, QStringLiteral("文档替换"));
  EXPECT_EQ(prompter_.last().text,
            QStringLiteral("你确认开始按照规则替换文档了吗？\n\n你可以点确认按钮开始替换所有文档,也可以点取消按钮取消替换！"));
  EXPECT_EQ(readFile(d), before);

  prompter_.answer = true;
  RunFrame& frame = app_->runFrame();
  int initial = -1;
  QObject::connect(&frame, &RunFrame::runStarted, [&](const QString& id, int size, int initialCount) {
    EXPECT_EQ(id, QStringLiteral("docR"));
    EXPECT_EQ(size, 1);
    initial = initialCount;
  });
  EXPECT_EQ(start(), StartOutcome::Started);
  ASSERT_TRUE(frame.waitUntilSettled(60000));
  EXPECT_EQ(initial, 0);
  EXPECT_EQ(frame.lastSummary().title, QStringLiteral("文档替换"));
  EXPECT_EQ(partText(readPart(d, "word/document.xml")), "b");
}
