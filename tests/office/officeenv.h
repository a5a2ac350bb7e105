#pragma once
// One office back end for the whole test process (one warm office serves every case), with
// its data folder in a temporary folder. Tests that need their own pool (supervision) make
// one with makeBackend().

#include <functional>
#include <memory>

#include "support/tempdir.h"
#include "word/office/office.h"

namespace vm::test {

// The shared back end, installed with setOfficeBackend() as well.
std::shared_ptr<vm::word::office::OfficeBackend> sharedOffice();
// The data folder of the shared back end.
const std::filesystem::path& officeDataFolder();
// A separate back end (own pool, own data folder under dir) with a short watchdog.
std::shared_ptr<vm::word::office::OfficeBackend> makeBackend(
    const std::filesystem::path& dataFolder, std::chrono::milliseconds callTimeout, int maxOffices = 1,
    std::function<void(const std::string&, int)> beforeCall = {});
// A .doc made by the office from a small .docx (dir/name; the .docx is dir/name.docx).
std::filesystem::path makeDoc(const TempDir& dir, const class DocxBuilder& b, const std::string& name = "in.doc");
// Pids of soffice.bin processes whose command line names a profile under dataFolder.
std::vector<int> officeProcessesUnder(const std::filesystem::path& dataFolder);
// Names in the folder that start with '.': scratch files a save left behind.
std::vector<std::string> hiddenEntries(const std::filesystem::path& folder);

}  // namespace vm::test

// The statement throws an EngineError of that code, with a message for the user.
#define EXPECT_ENGINE_CODE(statement, expectedCode)                                        \
  do {                                                                                     \
    try {                                                                                  \
      statement;                                                                           \
      ADD_FAILURE() << "no EngineError from " #statement;                                  \
    } catch (const vm::word::EngineError& e) {                                             \
      EXPECT_EQ(static_cast<int>(e.code()), static_cast<int>(expectedCode)) << e.what();   \
      EXPECT_FALSE(e.userMessage().empty()) << e.what();                                   \
    }                                                                                      \
  } while (0)
