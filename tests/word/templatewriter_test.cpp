// Copies from a template: each copy, written straight from the prepared template or edited as a
// document, holds the same parts as the template opened, replaced rule by rule and saved.

#include <gtest/gtest.h>

#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "support/testimages.h"
#include "word/templatewriter.h"

using namespace vm::test;
using namespace vm::word;
namespace fs = std::filesystem;

namespace {

FillRule rule(std::string find, std::vector<FillPart> replacement) { return {std::move(find), std::move(replacement), {}}; }

// The copy as the document path makes it.
void byDocument(const fs::path& templ, const std::vector<FillRule>& rules, const std::vector<std::string>& values,
                const fs::path& target) {
  OpenOptions options;
  options.readOnly = true;
  auto doc = open(templ, options);
  for (const FillRule& r : rules) doc->mainStory().replaceAll(r.find, filledReplacement(r, values));
  doc->saveAs(target);
}

void expectSameParts(const fs::path& a, const fs::path& b) {
  ASSERT_EQ(partNames(a), partNames(b));
  for (const std::string& name : partNames(a)) EXPECT_EQ(readPart(a, name), readPart(b, name)) << name;
}

struct Row {
  std::vector<std::string> values;
  bool direct;  // written straight from the template
};

void compare(const fs::path& templ, const std::vector<FillRule>& rules, const std::vector<Row>& rows) {
  TempDir out;
  auto writer = openTemplate(templ, rules);
  ASSERT_TRUE(writer->direct());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << rows[i].values[0]);
    const fs::path fast = out.file(std::to_string(i) + ".docx"), slow = out.file(std::to_string(i) + "-doc.docx");
    EXPECT_EQ(writer->write(rows[i].values, fast), rows[i].direct);
    byDocument(templ, rules, rows[i].values, slow);
    expectSameParts(fast, slow);
  }
}

}  // namespace

TEST(TemplateWriter, CopiesEqualTheDocumentPathAndValuesThatWouldChangeItTakeIt) {
  TempDir dir;
  // Placeholders split over runs, in a table, in capitals (the case form follows the match),
  // joined to text on both sides.
  const fs::path templ =
      DocxBuilder()
          .body(p(r("尊敬的{{姓") + r("名}}先生：", "<w:b/>") + r("  编号 NO-{{编号}}。")) +
                p(r("Name: NAME, name, Name.")) +
                table({{r("{{城市}}"), r("a{{编号}}c")}, {r("备注：{{备注}}"), r("{{城市}}x")}}))
          .write(dir.file("模板.docx"));
  const std::vector<FillRule> rules = {
      rule("{{姓名}}", {{"", 0}}),
      rule("{{编号}}", {{"#", -1}, {"", 1}, {"^&", -1}}),
      rule("name", {{"", 0}, {"^t", -1}}),  // a tab: not plain text, every copy by document
      rule("{{城市}}", {{"", 2}, {"（", -1}, {"", 3}, {"）", -1}}),
      rule("{{备注}}", {{"", 3}}),
      rule("bc", {{"BC!", -1}}),
  };
  // "name" puts a tab: that rule makes the template beyond slots; without it every row below
  // is written directly unless said otherwise.
  std::vector<FillRule> slots = rules;
  slots.erase(slots.begin() + 2);
  compare(templ, slots,
          {{{"张三", "1", "北京", "a&<b>\"'"}, true},
           {{"李四", "^p^t", "上海", "备"}, true},  // carets are text
           {{"王五", "2", "广州", "{{备注}}"}, false},  // a later rule finds its text in a value
           {{"赵六", "b", "深圳", "q"}, true},          // "#b{{编号}}" keeps b and c apart
           {{" 孙八", "4", "b", "r"}, false},  // a space at a text's end may change xml:space
           {{"周九", "5", "c", ""}, true},     // a rule that puts nothing: applied as it is
           {{"", "8", "", ""}, true},
           {{"吴十", "6", "d", "a\tb"}, false}});
  // A rule whose find text runs into a value the row put in, or joins the text around an empty one.
  const std::vector<FillRule> join = {rule("{{编号}}", {{"", 0}}), rule("bc", {{"BC!", -1}}), rule("ac", {{"AC", -1}})};
  compare(templ, join, {{{"x"}, true}, {{"b"}, false}, {{""}, true}});
  auto writer = openTemplate(templ, rules);
  EXPECT_FALSE(writer->direct());
  EXPECT_FALSE(writer->write({"张三", "1", "北京", "r"}, dir.file("tab.docx")));
  byDocument(templ, rules, {"张三", "1", "北京", "r"}, dir.file("tab-doc.docx"));
  expectSameParts(dir.file("tab.docx"), dir.file("tab-doc.docx"));
}

TEST(TemplateWriter, RealTemplateAndPictureRules) {
  const fs::path payment = fs::path(VM_CORPUS_DIR) / "poi-tl/poi-tl/src/test/resources/payment/payment.docx";
  if (!fs::exists(payment)) GTEST_SKIP() << "no corpus";
  compare(payment,
          {rule("{{NO}}", {{"", 0}}), rule("{{ID}}", {{"", 1}}), rule("{{consignee}}", {{"", 2}}),
           rule("{{taitou}}", {{"付款通知 ", -1}, {"", 0}})},
          {{{"10330", "LILAS", "LILA-Supermercado"}, true}, {{"10331", "BONAP", "Bon app'"}, true}});
  // A picture is put by the document path.
  TempDir dir;
  const fs::path image = dir.file("p.png");
  writeFile(image, png(4, 4));
  FillRule picture = rule("{{NO}}", {{"", 0}});
  picture.picture = [](const std::string& filled) { return fs::path(filled); };
  auto writer = openTemplate(payment, {picture});
  EXPECT_FALSE(writer->direct());
  EXPECT_FALSE(writer->write({image.string()}, dir.file("a.docx")));
  EXPECT_TRUE(readPart(dir.file("a.docx"), "word/document.xml").find("<w:drawing>") != std::string::npos);
}
