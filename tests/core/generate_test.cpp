// vellumark-cli generate: one document per row of a query, from a template, with every
// placeholder filled; names that stay in the output folder; the start checks' messages with
// nothing written.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QString>

#include <filesystem>
#include <set>

#include "clitestutil.h"
#include "ops/generate.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;
using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
using vm::clitest::runCli;

namespace {

class Generate : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(out());
    templ_ = DocxBuilder()
                 .body(p(r("尊敬的【姓名】：")) + p(r("您的城市：【城市】。")) + p(r("【姓名】，感谢您。")))
                 .write(dir_.file("模板.docx"));
    // Values a database may hold: separators, dots, quotes, Word's caret codes, an empty one.
    db("create table 客户(姓名 text, 城市 text, 备注 text);"
       "insert into 客户 values('张三', '北京', 'a'), ('张三', '上海', 'b'), ('张三', '', 'c'),"
       "('../../逃逸', 'x/y', '^p'), ('..', 'O''Brien \"q\"', '\\');");
    writeFile(dir_.file("rules.txt"), "【姓名】\t$[WDCon_1]$\n【城市】\t$[WDCon_2]$（$[WDCon_3]$）\n");
  }
  void db(const std::string& sql) {
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(dir_.file("data.db").c_str(), &h), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(h);
  }
  fs::path out() const { return dir_.file("输出"); }
  Result generate(const QString& sql, const QString& name = QStringLiteral("$[WDCon_1]$.docx"),
                  const fs::path& source = {}, const fs::path& templ = {}) {
    return runCli(dir_.file("home"), {"--yes", "generate", "--template", q(templ.empty() ? templ_ : templ), "--source",
                                      q(source.empty() ? dir_.file("data.db") : source), "--sql", sql, "--name", name,
                                      "--out", q(out()), "--rules", q(dir_.file("rules.txt"))});
  }
  std::set<std::string> written() const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir_.path()))
      if (e.is_regular_file() && e.path().extension() == ".docx" && e.path() != templ_)
        names.insert(fs::relative(e.path(), dir_.path()).string());
    return names;
  }
  static std::string text(const fs::path& path) { return partText(readPart(path, "word/document.xml")); }

  TempDir dir_;
  fs::path templ_;
};

}  // namespace

TEST_F(Generate, OneDocumentPerRowEveryPlaceholderFilledNamesStayInTheFolder) {
  const std::string before = readFile(templ_);
  Result r = generate("select * from 客户", "$[WDCon_1]$.docx");
  EXPECT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
  // Repeated names get 2, 3; a value with separators or ".." names a file inside the folder.
  EXPECT_EQ(written(), (std::set<std::string>{"输出/张三.docx", "输出/张三2.docx", "输出/张三3.docx",
                                              "输出/.._.._逃逸.docx", "输出/_.docx"}));
  EXPECT_EQ(text(out() / "张三.docx"), "尊敬的张三：\n您的城市：北京（a）。\n张三，感谢您。");
  // An empty value leaves its placeholder empty, the rest of the replacement stays.
  EXPECT_EQ(text(out() / "张三3.docx"), "尊敬的张三：\n您的城市：（c）。\n张三，感谢您。");
  // Values are text: no Word code, quotes kept.
  EXPECT_EQ(text(out() / ".._.._逃逸.docx"), "尊敬的../../逃逸：\n您的城市：x/y（^p）。\n../../逃逸，感谢您。");
  EXPECT_EQ(text(out() / "_.docx"), "尊敬的..：\n您的城市：O'Brien \"q\"（\\）。\n..，感谢您。");
  EXPECT_EQ(readFile(templ_), before);
  EXPECT_TRUE(r.err.contains(QStringLiteral("你确认开始生成文档了吗？")));
  EXPECT_TRUE(r.out.contains(QStringLiteral("第 5 行：已生成"))) << r.out.toStdString();
}

TEST_F(Generate, RealTemplateFromAnAccessJoin) {
  const fs::path payment = fs::path(VM_CORPUS_DIR) / "poi-tl/poi-tl/src/test/resources/payment/payment.docx";
  const fs::path nwind = fs::path(VM_CORPUS_DIR) / "databases/nwind.mdb";
  writeFile(dir_.file("rules.txt"), "{{NO}}\t$[WDCon_1]$\n{{ID}}\t$[WDCon_2]$\n{{consignee}}\t$[WDCon_3]$\n");
  Result r = generate("select o.OrderID, c.[CustomerID], c.CompanyName from Orders o join [Customers] c "
                      "on c.CustomerID = o.CustomerID where o.OrderID in (10330, 10331) order by o.OrderID",
                      "付款-$[WDCon_1]$-$[WDCon_2]$.docx", nwind, payment);
  ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
  EXPECT_EQ(written(), (std::set<std::string>{"输出/付款-10330-LILAS.docx", "输出/付款-10331-BONAP.docx"}));
  const std::string t = text(out() / "付款-10331-BONAP.docx");
  EXPECT_NE(t.find("编号: 10331"), std::string::npos) << t;
  EXPECT_NE(t.find("Bon app'"), std::string::npos);
  EXPECT_EQ(t.find("{{NO}}"), std::string::npos);
  EXPECT_NE(t.find("{{taitou}}"), std::string::npos);  // no rule for it
}

TEST_F(Generate, EachStartCheckSaysWhyAndNothingIsWritten) {
  const struct {
    QString sql, name;
    const char* expected;
  } cases[] = {
      {"select * from 客户", "固定名.docx", "文档名命名规则不符合要求！"},
      {"select * from 客户", "$[WDCon_1]$", "请输入批量文档后缀名！"},
      {"select * from 客户", "子目录/$[WDCon_1]$.docx", "批量文档名不能包含"},
      {"selec * from 客户", "$[WDCon_1]$.docx", "SQL语句执行错误，请检查SQL语句！"},
      {"select * from 订单", "$[WDCon_1]$.docx", "表不存在：订单"},
      {"select * from 客户 where 1 = 0", "$[WDCon_1]$.docx", "数据库数据为空，请添加好数据！"},
      {"select 姓名, 城市 from 客户", "$[WDCon_1]$.docx", "$[WDCon_3]$ 超出了查询结果的列数（共 2 列）"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    Result r = generate(c.sql, c.name);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.expected))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("你确认开始生成文档了吗？")));
  }
  Result wrongSource = generate("select 1", "$[WDCon_1]$.docx", dir_.file("none.mdb"));
  EXPECT_TRUE(wrongSource.err.contains(QStringLiteral("数据库连接错误，请检查数据库地址以及数据库密码！")));
  EXPECT_TRUE(wrongSource.err.contains(QStringLiteral("数据库文件不存在")));
  fs::remove(out());
  EXPECT_TRUE(generate("select * from 客户").err.contains(QStringLiteral("文档保存目录不存在！")));
  EXPECT_TRUE(written().empty());
}

TEST(GeneratePlaceholders, FilledEverywhereAndSafeInNames) {
  using vm::ops::fillPlaceholders;
  const QStringList row{"甲", "a/b\\c", ".."};
  EXPECT_EQ(fillPlaceholders("$[WDCon_1]$-$[WDCon_2]$-$[WDCon_1]$", row), "甲-a/b\\c-甲");
  EXPECT_EQ(fillPlaceholders("$[WDCon_2]$|$[WDCon_3]$|$[WDCon_9]$", row, true), "a_b_c|_|");
  EXPECT_EQ(fillPlaceholders("$[WDCon_x]$ $[WDCon_1] $[WDCon_", row), "$[WDCon_x]$ $[WDCon_1] $[WDCon_");
}
