// The conversion folder, password, summary and statistics windows offscreen: names, the save
// checks, the tags, and the statistics report written through the run frame.

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/prompter.h"
#include "dialogs/conversionfolderwindow.h"
#include "dialogs/passwordwindow.h"
#include "dialogs/statswindow.h"
#include "ops/chinese.h"
#include "ops/convert.h"
#include "ops/password.h"
#include "ops/stats.h"
#include "support/docxbuilder.h"

using namespace vm;

class TestConversionWindows : public QObject {
  Q_OBJECT

 private slots:
  void folderAndPasswordWindowsRefuseAndStore() {
    RecordingPrompter prompter;
    ops::ConvertSettings folder;
    ops::ChineseSettings chinese;
    ConversionFolderWindow f(folder, chinese);
    f.setPrompter(&prompter);
    f.setFolderChooser([](QWidget*) { return QStringLiteral("/tmp/out/"); });
    QCOMPARE(f.objectName(), QStringLiteral("frmHtmlFNameSetup"));
    f.txtSavePath->setText("  ");
    QVERIFY(!f.save());
    QCOMPARE(prompter.last().text, QStringLiteral("请输入文档保存路径！"));
    QTest::mouseClick(f.lblChooseFolder, Qt::LeftButton);
    f.cboStandard->setCurrentIndex(2);
    QVERIFY(f.save());
    QCOMPARE(folder.folder, QStringLiteral("/tmp/out/"));
    QCOMPARE(chinese.standard, QStringLiteral("s2twp"));

    ops::PasswordSettings pwd;
    PasswordWindow p(pwd);
    p.setPrompter(&prompter);
    QCOMPARE(p.txtN->echoMode(), QLineEdit::Password);
    QCOMPARE(p.txtO->maxLength(), 20);
    p.txtN->setText("abc");
    p.txtN2->setText("abd");
    QVERIFY(!p.save());
    QCOMPARE(prompter.last().title, QStringLiteral("密码不符！"));
    QCOMPARE(prompter.last().text, QStringLiteral("两次输入Word不符。"));
    p.txtN->clear();  // an empty new password is not compared
    QVERIFY(p.save());
    QCOMPARE(pwd.repeat, QStringLiteral("abd"));
  }

  void statsWindowTagsAndReport() {
    QTemporaryDir home, docs;
    RecordingPrompter prompter;
    auto app = AppContext::create(home.path(), prompter);
    QVERIFY(app);
    const QString doc = docs.filePath("a.docx");
    vm::test::DocxBuilder().body(vm::test::p(vm::test::r("123"))).write(doc.toStdString());
    app->documents().addFiles(doc, QStringLiteral("docx,"), false);
    StatsWindow w(*app);
    w.setPrompter(&prompter);
    QString opened;
    w.setOpener([&](const QString& path) { opened = path; });
    w.txtWdgs->clear();
    w.create();
    QCOMPARE(prompter.last().text, QStringLiteral("导出格式不能为空！"));
    w.insertTag(2);
    w.txtWdgs->textCursor().insertText(":");
    w.insertTag(0);
    QCOMPARE(w.txtWdgs->toPlainText(), QStringLiteral("[WDM]:[ZFZS]"));
    w.create();
    QVERIFY(app->runFrame().waitUntilSettled(20000));
    QTRY_VERIFY(w.cmdCreate->isEnabled());
    QCOMPARE(prompter.last().text, QStringLiteral("文档统计生成成功，你是否要立即打开该文件！"));
    QCOMPARE(opened, w.reportPath());
    QFile report(w.reportPath());
    QVERIFY(report.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(report.readAll()), QStringLiteral("a.docx:4\n"));
  }
};

QTEST_MAIN(TestConversionWindows)
#include "conversion_windows.moc"
