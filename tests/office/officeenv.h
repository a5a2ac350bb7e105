#pragma once
// One office back end for the whole test process (one warm office serves every case), with
// its data folder in a temporary folder. Tests that need their own pool (supervision) make
// one with makeBackend().

#include <memory>

#include "support/tempdir.h"
#include "word/office/office.h"

namespace vm::test {

// The shared back end, installed with setOfficeBackend() as well.
std::shared_ptr<vm::word::office::OfficeBackend> office();
// The data folder of the shared back end.
const std::filesystem::path& officeDataFolder();
// A separate back end (own pool, own data folder under dir) with a short watchdog.
std::shared_ptr<vm::word::office::OfficeBackend> makeBackend(const std::filesystem::path& dataFolder,
                                                             std::chrono::milliseconds callTimeout,
                                                             int maxOffices = 1);
// Pids of soffice.bin processes whose command line names a profile under dataFolder.
std::vector<int> officeProcessesUnder(const std::filesystem::path& dataFolder);

}  // namespace vm::test
