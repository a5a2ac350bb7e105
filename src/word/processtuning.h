#pragma once

namespace vm::word {

// Settings of the process for a batch that opens and drops thousands of documents. Call once,
// early, before any thread starts.
// - glibc's defaults hand every large buffer back to the kernel and fault it in again for the
//   next document (about a tenth of a replace run); up to a few tens of megabytes are kept.
// - Without TZ, glibc looks at /etc/localtime again on every local-time conversion (the zip
//   reader makes one per entry: some thirty a document); naming that same file in TZ makes it
//   read once.
void tuneForBatches();

}  // namespace vm::word
