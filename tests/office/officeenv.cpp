#include "officeenv.h"

#include "support/docxbuilder.h"

#include <dirent.h>

#include <fstream>
#include <mutex>

#include <gtest/gtest.h>

namespace vm::test {

namespace {

struct Shared {
  std::unique_ptr<TempDir> dir;
  std::shared_ptr<vm::word::office::OfficeBackend> backend;
};

Shared& shared() {
  static Shared s;
  return s;
}

class OfficeEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    auto& s = shared();
    vm::word::setOfficeBackend(nullptr);
    s.backend.reset();
    // Nothing of ours may outlive the tests.
    if (s.dir) EXPECT_TRUE(officeProcessesUnder(s.dir->path()).empty());
    s.dir.reset();
  }
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new OfficeEnvironment);

}  // namespace

std::shared_ptr<vm::word::office::OfficeBackend> sharedOffice() {
  static std::mutex m;
  std::lock_guard l(m);
  auto& s = shared();
  if (!s.backend) {
    s.dir = std::make_unique<TempDir>();
    vm::word::office::OfficeOptions o;
    o.dataFolder = s.dir->path() / "data";
    o.maxOffices = 1;
    o.callTimeout = std::chrono::seconds(120);
    s.backend = vm::word::office::installOfficeBackend(o);
  }
  return s.backend;
}

const std::filesystem::path& officeDataFolder() {
  sharedOffice();
  return shared().backend->options().dataFolder;
}

std::shared_ptr<vm::word::office::OfficeBackend> makeBackend(const std::filesystem::path& dataFolder,
                                                             std::chrono::milliseconds callTimeout, int maxOffices,
                                                             std::function<void(const std::string&, int)> beforeCall) {
  vm::word::office::OfficeOptions o;
  o.beforeCall = std::move(beforeCall);
  o.dataFolder = dataFolder;
  o.maxOffices = maxOffices;
  o.callTimeout = callTimeout;
  return std::make_shared<vm::word::office::OfficeBackend>(o);
}

std::filesystem::path makeDoc(const TempDir& dir, const DocxBuilder& b, const std::string& name) {
  auto docx = b.write(dir.file(name + ".docx"));
  auto doc = sharedOffice()->open(docx, {vm::word::Need::Layout});
  doc->saveAs(dir.file(name), vm::word::SaveFormat::Doc);
  doc->close();
  return dir.file(name);
}

std::vector<int> officeProcessesUnder(const std::filesystem::path& dataFolder) {
  std::vector<int> pids;
  std::string needle = std::filesystem::absolute(dataFolder).lexically_normal().string();
  DIR* d = opendir("/proc");
  if (!d) return pids;
  while (dirent* e = readdir(d)) {
    int pid = atoi(e->d_name);
    if (pid <= 0) continue;
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (cmd.find("soffice.bin") != std::string::npos && cmd.find(needle) != std::string::npos) pids.push_back(pid);
  }
  closedir(d);
  return pids;
}

std::vector<std::string> hiddenEntries(const std::filesystem::path& folder) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().filename().string()[0] == '.') out.push_back(e.path().filename().string());
  return out;
}

}  // namespace vm::test
