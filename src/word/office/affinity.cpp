#include "word/office/affinity.h"

#include <cstdlib>

namespace vm::word::office {

std::vector<int> coresForOffices() {
  const char* off = std::getenv("VELLUMARK_NO_PIN");
  if (off && *off == '1') return {};
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> cores;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return cores;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &set)) cores.push_back(c);
  if (cores.size() < 2) cores.clear();
  return cores;
}

namespace {

bool pinSet(cpu_set_t* set, int core) {
  if (core < 0 || core >= CPU_SETSIZE) return false;
  CPU_ZERO(set);
  CPU_SET(core, set);
  return true;
}

}  // namespace

void pinThisProcess(int core) {
  cpu_set_t set;
  if (pinSet(&set, core)) (void)::sched_setaffinity(0, sizeof set, &set);
}

ThreadPin::ThreadPin(int core) {
  cpu_set_t set;
  if (!pinSet(&set, core) || ::sched_getaffinity(0, sizeof saved_, &saved_) != 0) return;
  pinned_ = ::sched_setaffinity(0, sizeof set, &set) == 0;
}

ThreadPin::~ThreadPin() {
  if (pinned_) (void)::sched_setaffinity(0, sizeof saved_, &saved_);
}

}  // namespace vm::word::office
