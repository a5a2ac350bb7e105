#pragma once
// Private to the office back end: the pool of offices and the UNO helpers. Includes the
// generated UNO headers, so only the back end's own sources include it.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include "word/error.h"
#include "word/office/affinity.h"
#include "word/office/office.h"
#include "word/office/process.h"
#include "word/office/wordfind.h"

namespace vm::word::office {

namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

// --- strings ---------------------------------------------------------------------------
inline OUString ou(const std::string& utf8) {
  return rtl::OStringToOUString(rtl::OString(utf8.data(), static_cast<sal_Int32>(utf8.size())), RTL_TEXTENCODING_UTF8);
}
inline OUString ou(const char* ascii) { return OUString::createFromAscii(ascii); }
inline std::string utf8(const OUString& s) {
  rtl::OString o = rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8);
  return std::string(o.getStr(), static_cast<size_t>(o.getLength()));
}
OUString fileUrl(const std::filesystem::path& path);

inline css::beans::PropertyValue prop(const char* name, const Any& value) {
  css::beans::PropertyValue p;
  p.Name = ou(name);
  p.Value = value;
  return p;
}
Sequence<css::beans::PropertyValue> props(std::initializer_list<css::beans::PropertyValue> list);

// The name and message of the UNO exception being handled (inside a catch block).
std::string caughtUnoException();

// Whether the range lies in the text (a body's tables included; a header, note or frame is a
// text of its own).
bool inStoryText(const Reference<css::text::XTextRange>& range, const Reference<css::text::XText>& story);

// Inserts the document at path (absolute) at the cursor; a file the office cannot read is an
// EngineError of the file.
void insertFileAt(const Reference<css::text::XTextCursor>& cursor, const std::filesystem::path& path);

// Thrown inside the back end when the office process is gone (crashed, killed by the
// watchdog, or its bridge disposed): the document in hand is tried once more.
struct OfficeDied : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// --- the pool --------------------------------------------------------------------------

// One soffice.bin and its UNO connection.
struct Office {
  int number = 0;
  int core = -1;  // the core it and its callers run on (affinity.h); -1: any
  Slot slot;
  std::string pipeName;
  std::atomic<pid_t> pid{-1};
  std::uint64_t generation = 0;  // incremented at each start; documents compare it
  Reference<css::uno::XComponentContext> ctx;
  Reference<css::frame::XDesktop2> desktop;
  std::recursive_mutex callMutex;  // one call into the office at a time
  int documents = 0;               // open documents hosted (under the pool mutex)
  std::atomic<std::int64_t> deadline{0};  // steady ms of the call in flight; 0: none
  std::atomic<bool> killedByWatchdog{false};
  std::string lastCall;
};

struct OfficeBackend::Impl : std::enable_shared_from_this<OfficeBackend::Impl> {
  explicit Impl(OfficeOptions o);
  ~Impl();

  OfficeOptions options;
  std::filesystem::path officeFolder;
  int maxOffices = 1;
  std::vector<int> cores;  // coresForOffices(), read before any thread of ours is pinned

  mutable std::mutex mutex;
  std::vector<std::unique_ptr<Office>> offices;
  bool closing = false;
  PoolStats counters;

  // Supervisor: spawns offices (so that their parent-death signal is tied to a thread that
  // lives as long as the pool) and runs the watchdog.
  std::thread supervisor;
  std::mutex superMutex;
  std::condition_variable superCv;
  std::deque<std::function<void()>> superTasks;
  bool superStop = false;
  void supervise();
  pid_t spawnOnSupervisor(Office& o);

  // An office for a new document: an idle running one, else an idle one, else a new one
  // while the pool is below its size, else the least loaded. Counts the document in.
  Office& acquire();
  void release(Office& o);

  // Runs f() as one call into the office under the watchdog; starts the office first when it
  // is not running. Throws OfficeDied when the office is (or goes) down during the call.
  template <class F>
  auto call(Office& o, const std::string& name, F&& f) -> decltype(f());

  void takeSlot(Office& o);       // under o.callMutex; sets o.core
  void ensureStarted(Office& o);  // under o.callMutex, after takeSlot
  void stopOffice(Office& o, bool graceful);  // under o.callMutex
  void markDead(Office& o);
  void shutdownAll(bool final, bool graceful = true);
  bool officeDown(Office& o);
};

// The client's own component context (bootstrapped once per process); throws EngineError
// OfficeUnavailable when the UNO runtime cannot be bootstrapped.
Reference<css::uno::XComponentContext> localContext(const std::filesystem::path& programFolder);

class DeadlineGuard {
 public:
  DeadlineGuard(Office& o, std::chrono::milliseconds timeout);
  ~DeadlineGuard();

 private:
  Office& o_;
};

template <class F>
auto OfficeBackend::Impl::call(Office& o, const std::string& name, F&& f) -> decltype(f()) {
  std::lock_guard lock(o.callMutex);
  // Pinned before the start: the bridge's threads, made while connecting, keep the pin.
  takeSlot(o);
  ThreadPin pin(o.core);
  ensureStarted(o);
  o.lastCall = name;
  if (options.beforeCall) options.beforeCall(name, o.pid.load());
  try {
    DeadlineGuard guard(o, options.callTimeout);
    return f();
  } catch (const css::lang::DisposedException&) {
    markDead(o);
    throw OfficeDied("office gone during " + name);
  } catch (const css::uno::Exception&) {
    if (officeDown(o)) {
      markDead(o);
      throw OfficeDied("office gone during " + name + ": " + caughtUnoException());
    }
    throw;
  }
}

}  // namespace vm::word::office
