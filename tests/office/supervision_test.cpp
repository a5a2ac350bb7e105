// Supervision of the office processes: a killed or hung office is restarted, the document in
// hand is tried once more and then reported failed, the run goes on, the original stays as it
// was, and no office outlives its back end. closeStaleOffices ends only our own leftovers.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "officeenv.h"
#include "support/docxbuilder.h"

using namespace vm::test;
using namespace vm::word;
using namespace std::chrono_literals;

namespace {

struct RunResult {
  std::vector<std::string> failed;  // file names
  std::vector<ErrorCode> codes;
  int done = 0;
};

// One replace run over the documents, as the replace worker does it.
RunResult replaceRun(office::OfficeBackend& backend, const std::vector<std::filesystem::path>& docs,
                     std::atomic<int>& current) {
  RunResult r;
  for (size_t i = 0; i < docs.size(); ++i) {
    current = static_cast<int>(i);
    try {
      auto doc = backend.open(docs[i], {});
      doc->mainStory().replaceAll("apple", "pear");
      doc->save();
      doc->close();
      ++r.done;
    } catch (const EngineError& e) {
      r.failed.push_back(docs[i].filename().string());
      r.codes.push_back(e.code());
      EXPECT_FALSE(e.userMessage().empty());
    }
  }
  current = -1;
  return r;
}

std::vector<std::filesystem::path> threeDocs(const TempDir& dir) {
  std::vector<std::filesystem::path> docs;
  for (auto name : {"a.doc", "b.doc", "c.doc"})
    docs.push_back(makeDoc(dir, DocxBuilder().body(p(r("an apple a day"))), name));
  return docs;
}

std::string firstParagraph(const std::filesystem::path& path) {
  auto doc = sharedOffice()->open(path, {});
  return doc->mainStory().paragraphs().at(0).text;
}

}  // namespace

// The office dies (killed) or hangs (stopped, ended by the watchdog) in the call on the second
// document and again on its retry: that document alone fails, untouched, and the run goes on.
TEST(OfficeSupervision, OfficeKilledOrHungTwiceFailsThatDocumentOnly) {
  for (int signal : {SIGKILL, SIGSTOP}) {
    SCOPED_TRACE(signal == SIGKILL ? "killed" : "hung");
    TempDir dir;
    auto docs = threeDocs(dir);
    auto original = readFile(docs[1]);
    std::atomic<int> current{-1};
    std::vector<int> hit;
    auto start = std::chrono::steady_clock::now();
    {
      auto backend = makeBackend(dir.path() / "data", signal == SIGKILL ? 30s : 4s, 1, [&](const std::string& call, int pid) {
        if (current == 1 && call == "replace") {
          ::kill(pid, signal);
          hit.push_back(pid);
        }
      });
      auto r = replaceRun(*backend, docs, current);
      EXPECT_EQ(r.done, 2);
      EXPECT_EQ(r.failed, std::vector<std::string>{"b.doc"});
      EXPECT_EQ(r.codes, std::vector<ErrorCode>{ErrorCode::OfficeFailed});
      EXPECT_EQ(hit.size(), 2u);  // the first call and its one retry
      EXPECT_GE(backend->stats().officesStarted, 3);
      EXPECT_GE(backend->stats().officesKilled, signal == SIGSTOP ? 2 : 0);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    for (int pid : hit) EXPECT_NE(::kill(pid, 0), 0) << "office " << pid << " still there";
    EXPECT_TRUE(officeProcessesUnder(dir.path() / "data").empty());
    EXPECT_EQ(readFile(docs[1]), original);
    EXPECT_EQ(firstParagraph(docs[0]), "an pear a day");
    EXPECT_EQ(firstParagraph(docs[2]), "an pear a day");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data/office/slot-0/office.pid"));
  }
}

TEST(OfficeSupervision, OfficeKilledOnceIsRestartedAndTheDocumentRetried) {
  TempDir dir;
  auto docs = threeDocs(dir);
  std::atomic<int> current{-1};
  int kills = 0;
  {
    auto backend = makeBackend(dir.path() / "data", 30s, 1, [&](const std::string& call, int pid) {
      // mid-document: after the load and the replace, the store meets a dead office
      if (current == 1 && call == "store" && kills == 0) {
        ::kill(pid, SIGKILL);
        ++kills;
      }
    });
    auto r = replaceRun(*backend, docs, current);
    EXPECT_EQ(r.done, 3);
    EXPECT_TRUE(r.failed.empty());
    EXPECT_EQ(kills, 1);
    EXPECT_EQ(backend->stats().officesStarted, 2);
  }
  EXPECT_TRUE(officeProcessesUnder(dir.path() / "data").empty());
  for (auto& d : docs) EXPECT_EQ(firstParagraph(d), "an pear a day") << d;
}

TEST(OfficeSupervision, OfficeEndsWithItsBackEndAndIsKeptBetweenDocuments) {
  TempDir dir;
  auto docs = threeDocs(dir);
  std::atomic<int> current{-1};
  auto backend = makeBackend(dir.path() / "data", 30s, 1);
  EXPECT_TRUE(backend->officePids().empty());  // started on first need only
  auto r = replaceRun(*backend, docs, current);
  EXPECT_EQ(r.done, 3);
  EXPECT_EQ(backend->stats().officesStarted, 1);  // one office for every document
  auto pids = backend->officePids();
  ASSERT_EQ(pids.size(), 1u);
  auto record = readFile(dir.path() / "data/office/slot-0/office.pid");
  EXPECT_EQ(record.substr(0, record.find('\n')), std::to_string(pids[0]));
  // Whatever the office writes stays in its slot, but for its pipes, which osl puts in /tmp:
  // they are recorded and go with the office (an ended office used to leave them behind).
  const auto slot = dir.path() / "data/office/slot-0";
  const std::string environ = readFile("/proc/" + std::to_string(pids[0]) + "/environ");
  EXPECT_NE(environ.find("XDG_RUNTIME_DIR=" + (slot / "run").string()), std::string::npos);
  std::vector<std::string> pipes;
  std::istringstream listed(readFile(slot / "sockets"));
  for (std::string line; std::getline(listed, line);) pipes.push_back(line);
  EXPECT_GE(pipes.size(), 2u);  // the connection's and the single-instance pipe
  for (const auto& pipe : pipes) EXPECT_TRUE(std::filesystem::exists(pipe)) << pipe;
  backend.reset();
  EXPECT_NE(::kill(pids[0], 0), 0);
  EXPECT_TRUE(officeProcessesUnder(dir.path() / "data").empty());
  for (const auto& pipe : pipes) EXPECT_FALSE(std::filesystem::exists(pipe)) << pipe;
}

// The office's graphics self-tests (3 s of a core) run at every start of a profile that has not
// recorded this office version, which a headless office never does itself.
TEST(OfficeSupervision, OfficeStartsWithoutItsSelfTests) {
  TempDir dir;
  const auto user = dir.path() / "data/office/slot-0/profile/user";
  const auto xcu = user / "registrymodifications.xcu";
  std::string version;
  std::ifstream rc("/usr/lib/libreoffice/program/bootstraprc");
  for (std::string line; std::getline(rc, line);)
    if (line.rfind("ProductKey=", 0) == 0) version = line.substr(line.rfind(' ') + 1);
  ASSERT_FALSE(version.empty());
  const std::string item = "<prop oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>" + version + "</value>";
  // A new profile, then one last used by an older office.
  for (bool older : {false, true}) {
    SCOPED_TRACE(older ? "older profile" : "new profile");
    std::filesystem::remove_all(dir.path() / "data");
    if (older) {
      std::filesystem::create_directories(user);
      writeFile(xcu, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\">\n"
                     "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\">"
                     "<value>6.0</value></prop></item>\n</oor:items>\n");
    }
    auto backend = makeBackend(dir.path() / "data", 60s, 1);
    ASSERT_TRUE(backend->probe());
    EXPECT_FALSE(std::filesystem::exists(user / "GraphicsRenderTests.log"));
    const std::string text = readFile(xcu);
    EXPECT_NE(text.find(item), std::string::npos);
    EXPECT_EQ(text.find("ooSetupLastVersion"), text.rfind("ooSetupLastVersion"));
  }
}

// An office and the thread that calls it run on one core, so that a call's round trip wakes
// no other core; the thread has its cores back after the call.
TEST(OfficeSupervision, AnOfficeAndItsCallerShareOneCore) {
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one core only";
  auto cores = [](const cpu_set_t& set) {
    std::string list;
    for (int c = 0; c < CPU_SETSIZE; ++c)
      if (CPU_ISSET(c, &set)) list += (list.empty() ? "" : ",") + std::to_string(c);
    return list;
  };
  auto officeCores = [](int pid) {
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);)
      if (line.rfind("Cpus_allowed_list:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 18));
    return std::string();
  };
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> seen;  // the caller's cores, the office's
  auto backend = makeBackend(dir.path() / "data", 30s, 1, [&](const std::string&, int pid) {
    cpu_set_t caller;
    sched_getaffinity(0, sizeof caller, &caller);
    seen.emplace_back(cores(caller), officeCores(pid));
  });
  std::atomic<int> current{-1};
  EXPECT_EQ(replaceRun(*backend, {threeDocs(dir)[0]}, current).done, 1);
  ASSERT_FALSE(seen.empty());
  for (const auto& [caller, office] : seen) {
    EXPECT_EQ(caller.find(','), std::string::npos) << caller;
    EXPECT_EQ(caller, office);
  }
  cpu_set_t after;
  sched_getaffinity(0, sizeof after, &after);
  EXPECT_TRUE(CPU_EQUAL(&before, &after));
}

namespace {

pid_t spawn(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

bool running(pid_t pid) {
  int st;
  return waitpid(pid, &st, WNOHANG) == 0;
}

}  // namespace

TEST(OfficeSupervision, CloseStaleOfficesEndsOnlyOurLeftovers) {
  TempDir dir;
  auto data = dir.path() / "data";
  auto slot0 = data / "office/slot-0", slot1 = data / "office/slot-1";
  for (const auto& slot : {slot0, slot1}) std::filesystem::create_directories(slot / "profile");
  std::string url0 = "file://" + (slot0 / "profile").string();
  // A leftover office of a previous Vellumark (its command line names our profile) ...
  pid_t stale = spawn({"/usr/bin/perl", "-e", "sleep 60", "soffice.bin", "--headless", "-env:UserInstallation=" + url0});
  // ... and a pid recorded by us that is now something else: a user's LibreOffice, say.
  pid_t user = spawn({"/usr/bin/perl", "-e", "sleep 60", "soffice.bin", "--headless",
                      "-env:UserInstallation=file:///home/someone/.config/libreoffice"});
  std::this_thread::sleep_for(100ms);
  writeFile(slot0 / "office.pid", std::to_string(stale) + "\n" + url0 + "\n999999\n");
  writeFile(slot1 / "office.pid", std::to_string(user) + "\nfile://" + (slot1 / "profile").string() + "\n999999\n");
  EXPECT_EQ(office::closeStaleOffices(data), 1);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(running(stale));
  EXPECT_TRUE(running(user));
  EXPECT_FALSE(std::filesystem::exists(slot0 / "office.pid"));
  EXPECT_FALSE(std::filesystem::exists(slot1 / "office.pid"));
  kill(user, SIGKILL);
  waitpid(user, nullptr, 0);

  // The offices of a running Vellumark (this process's shared back end) are left alone.
  auto pids = sharedOffice()->officePids();
  ASSERT_FALSE(pids.empty());
  EXPECT_EQ(office::closeStaleOffices(officeDataFolder()), 0);
  for (int pid : pids) EXPECT_EQ(kill(pid, 0), 0);
}
