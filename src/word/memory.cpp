#include "word/memory.h"

#include <malloc.h>

namespace vm::word {

void keepFreedMemoryForReuse() {
#ifdef M_MMAP_THRESHOLD
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // glibc's ceiling for this setting
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}

}  // namespace vm::word
