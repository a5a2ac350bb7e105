// The data source and naming windows of generation offscreen: the test report, save only
// after a test, cancel keeps what was typed, config.ini written by save, the ".doc" completion.

#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/prompter.h"
#include "dialogs/datasourcewindow.h"
#include "dialogs/namingwindow.h"
#include "ops/generate.h"

using namespace vm;

class TestGenerateWindows : public QObject {
  Q_OBJECT

 private slots:
  void dataSourceTestSaveAndCancel() {
    QTemporaryDir home;
    RecordingPrompter prompter;
    auto app = AppContext::create(home.path(), prompter);
    QVERIFY(app);
    QFile csv(home.filePath("名单.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("姓名,城市\n张三,北京\n");
    csv.close();

    DataSourceWindow w(*app);
    w.setPrompter(&prompter);
    QVERIFY(!w.cmdSaveSetup->isEnabled());
    w.txtSql->setPlainText("select * from 名单");
    w.test();
    QCOMPARE(prompter.last().title, QStringLiteral("出错了"));
    QCOMPARE(prompter.last().text, QStringLiteral("数据库地址不能为空！"));
    // A failing connection: the reason, save stays disabled.
    w.txtDPath->setText(home.filePath("none.mdb"));
    w.test();
    QVERIFY(w.lbl_DataTestInfo->text().contains(QStringLiteral("数据库文件不存在")));
    QVERIFY(!w.cmdSaveSetup->isEnabled());
    // A failing query is reported after the connection.
    w.txtDPath->setText(home.filePath("名单.csv"));
    w.txtSql->setPlainText("select * from 订单");
    w.test();
    QVERIFY(w.lbl_DataTestInfo->text().startsWith(QStringLiteral("数据库连接成功！\n数据库操作失败！")));
    QVERIFY(!w.cmdSaveSetup->isEnabled());
    // An empty result enables saving too.
    w.txtSql->setPlainText(" select * from 名单 where 1 = 0 ");
    w.test();
    QVERIFY(w.lbl_DataTestInfo->text().contains(QStringLiteral("检索数据为空！")));
    QVERIFY(w.cmdSaveSetup->isEnabled());
    QVERIFY(w.save());
    QCOMPARE(app->ini().readIni("config", "dbSql"), QStringLiteral("select * from 名单 where 1 = 0"));
    // Cancel writes nothing but keeps what was typed for the next generation.
    w.txtDPwd->setText("x'y");
    w.cmdCancel->click();
    QCOMPARE(ops::generateSettings(*app).dbPwd, QStringLiteral("x'y"));
    QCOMPARE(app->ini().readIni("config", "dbPwd"), QString());
    w.resetForMenu();
    QVERIFY(!w.cmdSaveSetup->isEnabled());
    QVERIFY(w.frm_Data->isHidden());
  }

  void namingChecksCompletionAndSave() {
    QTemporaryDir home;
    RecordingPrompter prompter;
    auto app = AppContext::create(home.path(), prompter);
    QVERIFY(app);
    NamingWindow w(*app);
    w.setPrompter(&prompter);
    const struct {
      const char *typed, *completed;
    } names[] = {{"$[WDCon_2]$", "$[WDCon_2]$.doc"}, {"a.docx", "a.docx"}, {"a.txt", "a.txt.doc"}, {" ", " "}};
    for (const auto& n : names) {
      w.txtN->setText(n.typed);
      w.completeExtension();
      QCOMPARE(w.txtN->text(), QString::fromUtf8(n.completed));
    }
    QVERIFY(!w.save());
    QCOMPARE(prompter.last().title, QStringLiteral("文档名设置"));
    QCOMPARE(prompter.last().text, QStringLiteral("请输入批量文档名！"));
    w.txtN->setText("$[WDCon_2]$.docx");
    QVERIFY(!w.save());
    QCOMPARE(prompter.last().text, QStringLiteral("请输入文档保存路径！"));
    w.txtSavePath->setText(" /tmp/out/ ");
    QVERIFY(w.save());
    QCOMPARE(app->ini().readIni("config", "fileSavePath"), QStringLiteral("/tmp/out/"));
    QCOMPARE(ops::generateSettings(*app).fileBatchName, QStringLiteral("$[WDCon_2]$.docx"));
  }
};

QTEST_MAIN(TestGenerateWindows)
#include "generate_windows.moc"
