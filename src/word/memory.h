#pragma once

namespace vm::word {

// A batch opens and drops documents of a similar size thousands of times. glibc's defaults hand
// every large buffer back to the kernel and fault it in again for the next document (about a
// tenth of a replace run); this keeps up to a few tens of megabytes for reuse. Call once, early.
void keepFreedMemoryForReuse();

}  // namespace vm::word
