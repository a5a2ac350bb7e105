#pragma once
// Each office and the threads that call it share one core. A call is a round trip between our
// thread and the office's, and waking a thread on the other core costs more than most calls
// (a third of a run's CPU on a virtual machine). A thread of ours is pinned only while it calls.

#include <sched.h>

#include <vector>

namespace vm::word::office {

// The cores that offices are pinned to in turn: those the calling thread may use; none when it
// may use only one, or when VELLUMARK_NO_PIN=1 (for measuring).
std::vector<int> coresForOffices();

// Pins a child to the core before it execs (async-signal-safe); no-op for -1.
void pinThisProcess(int core);

// Pins the calling thread to the core for its lifetime, then gives back the cores it had.
class ThreadPin {
 public:
  explicit ThreadPin(int core);
  ~ThreadPin();
  ThreadPin(const ThreadPin&) = delete;
  ThreadPin& operator=(const ThreadPin&) = delete;

 private:
  cpu_set_t saved_;
  bool pinned_ = false;
};

}  // namespace vm::word::office
