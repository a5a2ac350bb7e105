// The pool of private headless offices: start, connect, watchdog, restart, shutdown.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <map>
#include <random>

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/uno/DeploymentException.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <osl/file.hxx>
#include <rtl/bootstrap.hxx>

#include "word/office/internal.h"

namespace vm::word::office {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Every live pool, so that the offices are ended at exit even when a back end object is
// never destroyed (a leaked shared_ptr, exit() from anywhere).
std::mutex g_liveMutex;
std::vector<std::weak_ptr<OfficeBackend::Impl>>& livePools() {
  static auto* v = new std::vector<std::weak_ptr<OfficeBackend::Impl>>();
  return *v;
}
std::atomic<bool> g_exiting{false};

void killAllAtExit() {
  // No UNO call and no release of a UNO reference from here on: the bridge library may
  // already be torn down (measured: releasing a proxy here crashes). The offices are killed
  // and reaped, their records removed, and the proxies leaked (see ~Impl).
  g_exiting = true;
  std::lock_guard lock(g_liveMutex);
  for (auto& w : livePools()) {
    if (auto p = w.lock()) {
      std::lock_guard l(p->mutex);
      p->closing = true;
      for (auto& o : p->offices) {
        pid_t pid = o->pid.exchange(-1);
        if (pid > 0) {
          killChild(pid, 2000ms);
          cleanAfterOffice(o->slot, o->pipeName);
          o->slot.clearRecord();
        }
      }
    }
  }
}

std::string randomToken() {
  std::random_device rd;
  std::mt19937_64 g(rd() ^ static_cast<std::uint64_t>(nowMs()) ^ static_cast<std::uint64_t>(::getpid()));
  static const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string s;
  for (int i = 0; i < 10; ++i) s += digits[g() % 36];
  return s;
}

}  // namespace

OUString fileUrl(const fs::path& path) {
  OUString url;
  osl::FileBase::getFileURLFromSystemPath(ou(fs::absolute(path).lexically_normal().string()), url);
  return url;
}

Sequence<css::beans::PropertyValue> props(std::initializer_list<css::beans::PropertyValue> list) {
  Sequence<css::beans::PropertyValue> s(static_cast<sal_Int32>(list.size()));
  sal_Int32 i = 0;
  for (auto& p : list) s.getArray()[i++] = p;
  return s;
}

std::string caughtUnoException() {
  Any a = cppu::getCaughtException();
  std::string name = utf8(a.getValueTypeName());
  css::uno::Exception e;
  if (a >>= e) return name + ": " + utf8(e.Message);
  return name;
}

Reference<css::uno::XComponentContext> localContext(const fs::path& programFolder) {
  static std::mutex m;
  static Reference<css::uno::XComponentContext>* ctx = nullptr;  // leaked on purpose
  static std::string failure;
  std::lock_guard lock(m);
  if (ctx) return *ctx;
  if (!failure.empty()) throw EngineError(ErrorCode::OfficeUnavailable, failure);
  try {
    ::signal(SIGPIPE, SIG_IGN);
    rtl::Bootstrap::set(ou("URE_BOOTSTRAP"), ou("vnd.sun.star.pathname:" + (programFolder / "fundamentalrc").string()));
    auto c = cppu::defaultBootstrap_InitialComponentContext(fileUrl(programFolder / "unorc"));
    ctx = new Reference<css::uno::XComponentContext>(c);
    std::atexit(killAllAtExit);
    return *ctx;
  } catch (const css::uno::Exception&) {
    failure = caughtUnoException();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  throw EngineError(ErrorCode::OfficeUnavailable, failure);
}

DeadlineGuard::DeadlineGuard(Office& o, std::chrono::milliseconds timeout) : o_(o) {
  o_.deadline = nowMs() + timeout.count();
}
DeadlineGuard::~DeadlineGuard() { o_.deadline = 0; }

// --- Impl ------------------------------------------------------------------------------

OfficeBackend::Impl::Impl(OfficeOptions o) : options(std::move(o)) {
  if (options.dataFolder.empty()) options.dataFolder = defaultDataFolder();
  officeFolder = options.dataFolder / "office";
  const int hardware = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  maxOffices = options.maxOffices > 0 ? std::min(options.maxOffices, hardware) : hardware;
  cores = coresForOffices();
  supervisor = std::thread([this] { supervise(); });
}

OfficeBackend::Impl::~Impl() {
  auto stopSupervisor = [this] {
    {
      std::lock_guard l(superMutex);
      superStop = true;
    }
    superCv.notify_all();
    if (supervisor.joinable()) supervisor.join();
  };
  if (g_exiting) {
    // At exit the offices are already killed; the UNO proxies are leaked rather than
    // released into a runtime that may be torn down.
    stopSupervisor();
    for (auto& o : offices) (void)o.release();
    return;
  }
  shutdownAll(true);
  stopSupervisor();
}

void OfficeBackend::Impl::supervise() {
  std::unique_lock lock(superMutex);
  while (!superStop) {
    superCv.wait_for(lock, 25ms, [this] { return superStop || !superTasks.empty(); });
    while (!superTasks.empty()) {
      auto task = std::move(superTasks.front());
      superTasks.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
    // The watchdog: an office whose call is overdue is killed; the call then fails with
    // DisposedException on the caller's thread.
    std::int64_t now = nowMs();
    std::lock_guard pl(mutex);
    for (auto& o : offices) {
      std::int64_t d = o->deadline.load();
      pid_t pid = o->pid.load();
      if (d != 0 && now > d && pid > 0) {
        o->killedByWatchdog = true;
        o->deadline = 0;
        ::kill(pid, SIGKILL);
        ++counters.officesKilled;
      }
    }
  }
}

pid_t OfficeBackend::Impl::spawnOnSupervisor(Office& o) {
  auto task = std::make_shared<std::packaged_task<pid_t()>>(
      [this, &o] { return spawnOffice(options.programFolder, o.slot, o.pipeName, o.core); });
  auto result = task->get_future();
  {
    std::lock_guard l(superMutex);
    superTasks.push_back([task] { (*task)(); });
  }
  superCv.notify_all();
  return result.get();
}

bool OfficeBackend::Impl::officeDown(Office& o) {
  pid_t pid = o.pid.load();
  return o.killedByWatchdog || pid <= 0 || !childAlive(pid);
}

void OfficeBackend::Impl::markDead(Office& o) {
  pid_t pid = o.pid.exchange(-1);
  if (pid > 0) {
    if (!o.killedByWatchdog) {
      std::lock_guard l(mutex);
      ++counters.officesKilled;
    }
    killChild(pid);
  }
  // The proxies of a disposed bridge are only released; no call goes out.
  o.desktop.clear();
  o.ctx.clear();
  cleanAfterOffice(o.slot, o.pipeName);
  o.slot.clearRecord();
}

void OfficeBackend::Impl::takeSlot(Office& o) {
  if (o.slot.valid()) return;
  {
    std::lock_guard l(mutex);
    if (closing) throw EngineError(ErrorCode::OfficeUnavailable, "the office back end is shutting down");
  }
  try {
    o.slot = Slot::acquire(officeFolder, o.number);
  } catch (const std::exception& e) {
    throw EngineError(ErrorCode::OfficeUnavailable, e.what());
  }
  // By slot, not by office: runs side by side on one data folder take other slots, and so
  // other cores.
  o.core = cores.empty() ? -1 : cores[static_cast<std::size_t>(o.slot.index()) % cores.size()];
}

void OfficeBackend::Impl::ensureStarted(Office& o) {
  pid_t pid = o.pid.load();
  if (pid > 0 && !o.killedByWatchdog && childAlive(pid) && o.desktop.is()) return;
  if (pid > 0 || o.desktop.is()) markDead(o);
  {
    std::lock_guard l(mutex);
    if (closing) throw EngineError(ErrorCode::OfficeUnavailable, "the office back end is shutting down");
  }
  auto local = localContext(options.programFolder);
  o.killedByWatchdog = false;
  o.pipeName = "vellumark-" + std::to_string(::getpid()) + "-" + std::to_string(o.slot.index()) + "-" + randomToken();

  auto until = nowMs() + options.startTimeout.count();
  Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(local);
  OUString url = ou("uno:pipe,name=" + o.pipeName + ";urp;StarOffice.ComponentContext");
  int restarts = 0;
  std::string why;
  for (;;) {
    try {
      pid = spawnOnSupervisor(o);
    } catch (const std::exception& e) {
      throw EngineError(ErrorCode::OfficeUnavailable, e.what());
    }
    o.pid = pid;
    o.slot.recordOffice(pid);
    bool respawn = false;
    while (nowMs() < until) {
      int status = 0;
      if (!childAlive(pid, &status)) {
        // 81: a new profile was made and the office asks to be started again.
        if (WIFEXITED(status) && WEXITSTATUS(status) == 81 && restarts++ < 2) {
          respawn = true;
          break;
        }
        why = "soffice.bin ended at start-up with status " + std::to_string(status);
        o.pid = -1;
        break;
      }
      try {
        DeadlineGuard guard(o, std::chrono::milliseconds(until - nowMs()));
        Reference<css::uno::XInterface> obj = resolver->resolve(url);
        o.ctx.set(obj, UNO_QUERY_THROW);
        o.desktop = css::frame::Desktop::create(o.ctx);
        auto provider = css::configuration::theDefaultProvider::get(o.ctx);
        auto setConfig = [&](const char* node, const char* name, const Any& value) {
          css::beans::NamedValue path;
          path.Name = ou("nodepath");
          path.Value <<= ou(node);
          Sequence<Any> args(1);
          args.getArray()[0] <<= path;
          Reference<css::beans::XPropertySet> access(
              provider->createInstanceWithArguments(ou("com.sun.star.configuration.ConfigurationUpdateAccess"), args),
              UNO_QUERY_THROW);
          access->setPropertyValue(ou(name), value);
          Reference<css::util::XChangesBatch>(access, UNO_QUERY_THROW)->commitChanges();
        };
        // File locking off: a stale .~lock file beside an input must not make the load fail.
        setConfig("/org.openoffice.Office.Common/Misc", "UseLocking", Any(false));
        // Background work no document of ours needs, which competes with the calls for the
        // cores: spell checking as you type and collecting words for completion.
        setConfig("/org.openoffice.Office.Linguistic/SpellChecking", "IsSpellAuto", Any(false));
        setConfig("/org.openoffice.Office.Writer/AutoFunction/Completion", "Enable", Any(false));
        o.slot.recordSockets(pid);
        ++o.generation;
        {
          std::lock_guard l(mutex);
          ++counters.officesStarted;
        }
        return;
      } catch (const css::connection::NoConnectException&) {
        std::this_thread::sleep_for(50ms);
      } catch (const css::uno::Exception&) {
        why = caughtUnoException();
        if (o.killedByWatchdog || !childAlive(pid)) break;
        std::this_thread::sleep_for(50ms);
      }
    }
    if (respawn) continue;
    break;
  }
  if (why.empty()) why = "no connection within " + std::to_string(options.startTimeout.count()) + " ms";
  markDead(o);
  // An office that cannot be started is a failure of the document in hand (tried again once).
  throw OfficeDied("office start failed: " + why);
}

void OfficeBackend::Impl::stopOffice(Office& o, bool graceful) {
  pid_t pid = o.pid.load();
  if (pid > 0 && graceful && !g_exiting && o.desktop.is() && childAlive(pid)) {
    try {
      DeadlineGuard guard(o, 3000ms);
      o.desktop->terminate();
    } catch (...) {
    }
    waitChild(pid, 3000ms);
  }
  markDead(o);
}

Office& OfficeBackend::Impl::acquire() {
  std::lock_guard l(mutex);
  if (closing) throw EngineError(ErrorCode::OfficeUnavailable, "the office back end is shutting down");
  Office* best = nullptr;
  for (auto& o : offices)  // an idle running office first
    if (o->documents == 0 && o->pid.load() > 0) {
      best = o.get();
      break;
    }
  if (!best)
    for (auto& o : offices)
      if (o->documents == 0) {
        best = o.get();
        break;
      }
  if (!best && static_cast<int>(offices.size()) < maxOffices) {
    offices.push_back(std::make_unique<Office>());
    offices.back()->number = static_cast<int>(offices.size()) - 1;
    best = offices.back().get();
  }
  if (!best)
    for (auto& o : offices)
      if (!best || o->documents < best->documents) best = o.get();
  ++best->documents;
  return *best;
}

void OfficeBackend::Impl::release(Office& o) {
  std::lock_guard l(mutex);
  if (o.documents > 0) --o.documents;
}

void OfficeBackend::Impl::shutdownAll(bool final, bool graceful) {
  std::vector<Office*> list;
  {
    std::lock_guard l(mutex);
    if (final) closing = true;
    for (auto& o : offices) list.push_back(o.get());
  }
  for (Office* o : list) {
    std::lock_guard cl(o->callMutex);
    stopOffice(*o, graceful);
    if (final) o->slot = Slot();
  }
}

// --- OfficeBackend ---------------------------------------------------------------------

fs::path defaultDataFolder() {
  if (const char* h = std::getenv("VELLUMARK_HOME"); h && *h) return fs::path(h);
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".local/share/vellumark";
  return fs::temp_directory_path() / "vellumark";
}

OfficeBackend::OfficeBackend(OfficeOptions options) : impl_(std::make_shared<Impl>(std::move(options))) {
  std::lock_guard lock(g_liveMutex);
  auto& v = livePools();
  std::erase_if(v, [](auto& w) { return w.expired(); });
  v.push_back(impl_);
}

OfficeBackend::~OfficeBackend() {
  if (!g_exiting) impl_->shutdownAll(true);
}

std::string OfficeBackend::version() const {
  static std::mutex m;
  static std::map<std::string, std::string>* cache = new std::map<std::string, std::string>();
  std::lock_guard l(m);
  auto key = impl_->options.programFolder.string();
  auto it = cache->find(key);
  if (it == cache->end()) it = cache->emplace(key, readOfficeVersion(impl_->options.programFolder, impl_->officeFolder / "version-run")).first;
  return it->second;
}

bool OfficeBackend::available() const {
  const auto& p = impl_->options.programFolder;
  return ::access((p / "soffice.bin").c_str(), X_OK) == 0 && fs::exists(p / "types.rdb") &&
         fs::exists(p / "types" / "offapi.rdb") && fs::exists(p / "fundamentalrc");
}

bool OfficeBackend::probe(std::string* error) {
  try {
    Office& o = impl_->acquire();
    struct Release {
      Impl& i;
      Office& o;
      ~Release() { i.release(o); }
    } rel{*impl_, o};
    impl_->call(o, "probe", [&] { return o.desktop.is(); });
    return true;
  } catch (const EngineError& e) {
    if (error) *error = e.what();
  } catch (const std::exception& e) {
    if (error) *error = e.what();
  } catch (const css::uno::Exception&) {
    if (error) *error = caughtUnoException();
  }
  return false;
}

void OfficeBackend::shutdown() { impl_->shutdownAll(false); }

std::vector<int> OfficeBackend::officePids() const {
  std::vector<int> pids;
  std::lock_guard l(impl_->mutex);
  for (auto& o : impl_->offices)
    if (o->pid.load() > 0) pids.push_back(o->pid.load());
  return pids;
}

PoolStats OfficeBackend::stats() const {
  std::lock_guard l(impl_->mutex);
  PoolStats s = impl_->counters;
  s.runningOffices = 0;
  for (auto& o : impl_->offices)
    if (o->pid.load() > 0) ++s.runningOffices;
  return s;
}

const OfficeOptions& OfficeBackend::options() const { return impl_->options; }

std::shared_ptr<OfficeBackend> installOfficeBackend(OfficeOptions options) {
  auto b = std::make_shared<OfficeBackend>(std::move(options));
  setOfficeBackend(b);
  return b;
}

std::function<void()> installForProgram(const fs::path& dataFolder) {
  OfficeOptions o;
  o.dataFolder = dataFolder.empty() ? defaultDataFolder() : dataFolder;
  closeStaleOffices(o.dataFolder);
  auto backend = std::make_shared<OfficeBackend>(o);
  if (!backend->available()) return {};
  setOfficeBackend(backend);
  fs::path folder = o.dataFolder;
  return [folder] { closeStaleOffices(folder); };
}

int closeStaleOffices(const fs::path& dataFolder) {
  return closeStaleOfficesIn((dataFolder.empty() ? defaultDataFolder() : dataFolder) / "office");
}

}  // namespace vm::word::office
