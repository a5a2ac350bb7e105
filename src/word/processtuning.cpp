#include "word/processtuning.h"

#include <malloc.h>

#include <cstdlib>

namespace vm::word {

void tuneForBatches() {
#ifdef M_MMAP_THRESHOLD
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // glibc's ceiling for this setting
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
  ::setenv("TZ", ":/etc/localtime", 0);  // the same zone as an unset TZ; a set one is kept
}

}  // namespace vm::word
