// The engine check and what the usable engines offer.
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

#include "app/engines.h"
#include "word/document.h"
#include "shelltestutil.h"

using vm::shelltest::Folder;

namespace {

class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name), saved_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {}
  ~EnvGuard() {
    if (had_) qputenv(name_, saved_);
    else qunsetenv(name_);
  }

 private:
  const char* name_;
  QByteArray saved_;
  bool had_;
};

QString script(const Folder& f, const QString& name, const QByteArray& body) {
  const QString p = f.touch(name, "#!/bin/sh\n" + body + "\n");
  QFile::setPermissions(p, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return p;
}

class FakeBackend : public vm::word::Backend {
 public:
  std::string name() const override { return "fake office"; }
  std::string version() const override { return "LibreOffice 9.9"; }
  bool available() const override { return true; }
  std::unique_ptr<vm::word::Document> open(const std::filesystem::path&, const vm::word::OpenOptions&) override {
    return nullptr;
  }
};

}  // namespace

TEST(Engines, NoOfficeMeansDocxOnly) {
  EnvGuard g("VELLUMARK_NO_OFFICE");
  qputenv("VELLUMARK_NO_OFFICE", "1");
  const vm::EngineStatus s = vm::checkEngines();
  EXPECT_TRUE(s.docx);
  EXPECT_FALSE(s.officeUsable());
  EXPECT_FALSE(s.docBoxVisible());
  EXPECT_EQ(s.defaultSuffixList(), "docx,");
  // Only what the docx engine offers; the office adds layout work.
  EXPECT_TRUE(s.features().has(vm::word::Feature::MainText));
  EXPECT_FALSE(s.features().has(vm::word::Feature::Layout));
}

TEST(Engines, ProbesSofficeVersion) {
  EnvGuard g1("VELLUMARK_NO_OFFICE"), g2("VELLUMARK_SOFFICE");
  // An office back end installed by an earlier test of this process would answer instead.
  struct Uninstalled {
    std::shared_ptr<vm::word::Backend> saved = vm::word::officeBackend();
    Uninstalled() { vm::word::setOfficeBackend(nullptr); }
    ~Uninstalled() { vm::word::setOfficeBackend(saved); }
  } uninstalled;
  qunsetenv("VELLUMARK_NO_OFFICE");
  Folder f;
  // The probed office keeps dconf's cache in a folder of the probe's own, not in ~/.cache.
  qputenv("VELLUMARK_SOFFICE", script(f, "soffice",
                                      "echo \"$XDG_RUNTIME_DIR\" > '" + f.file("runtime").toLocal8Bit() +
                                          "'; echo 'LibreOffice 7.4.7.2 40(Build:2)'")
                                   .toLocal8Bit());
  vm::OfficeStatus s = vm::probeOffice(5000);
  EXPECT_TRUE(s.usable) << s.reason.toStdString();
  QFile runtime(f.file("runtime"));
  ASSERT_TRUE(runtime.open(QIODevice::ReadOnly));
  const QString dir = QString::fromLocal8Bit(runtime.readAll()).trimmed();
  EXPECT_FALSE(dir.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(dir));  // removed with the probe
  EXPECT_EQ(s.version, "LibreOffice 7.4.7.2");
  vm::EngineStatus engines;
  std::thread worker([&] { engines = vm::checkEngines(5000); });  // off the main thread, as the start-up window does
  worker.join();
  EXPECT_EQ(engines.office.version, "LibreOffice 7.4.7.2");
  EXPECT_EQ(engines.defaultSuffixList(), "doc,docx,");

  qputenv("VELLUMARK_SOFFICE", script(f, "noversion", "echo 'hello'").toLocal8Bit());
  s = vm::probeOffice(5000);
  EXPECT_FALSE(s.usable);
  EXPECT_FALSE(s.reason.isEmpty());

  qputenv("VELLUMARK_SOFFICE", script(f, "hangs", "exec sleep 30").toLocal8Bit());
  QElapsedTimer t;
  t.start();
  s = vm::probeOffice(300);
  EXPECT_FALSE(s.usable);
  EXPECT_TRUE(s.reason.contains("timed out")) << s.reason.toStdString();
  EXPECT_LT(t.elapsed(), 3000);

  qputenv("VELLUMARK_SOFFICE", f.file("does-not-exist").toLocal8Bit());
  EXPECT_FALSE(vm::probeOffice(1000).usable);
}

TEST(Engines, AsksTheInstalledBackEnd) {
  EnvGuard g1("VELLUMARK_NO_OFFICE");
  qunsetenv("VELLUMARK_NO_OFFICE");
  auto previous = vm::word::officeBackend();
  vm::word::setOfficeBackend(std::make_shared<FakeBackend>());
  const vm::OfficeStatus s = vm::probeOffice();
  vm::word::setOfficeBackend(previous);
  EXPECT_TRUE(s.usable);
  EXPECT_EQ(s.version, "LibreOffice 9.9");
  EXPECT_EQ(s.program, "fake office");
}
