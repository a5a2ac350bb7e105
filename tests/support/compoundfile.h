#pragma once
// A minimal OLE compound file (the container of .doc files and of password-protected .docx),
// for tests of what the engine says about such files:
//   compoundFile({{"EncryptionInfo", ...}, {"EncryptedPackage", ...}})   // an encrypted .docx
//   compoundFile({{"WordDocument", ...}})                               // a Word 97-2003 file
// Streams are padded to 4096 bytes so that they live in regular sectors (no mini stream).

#include <string>
#include <utility>
#include <vector>

namespace vm::test {

std::string compoundFile(const std::vector<std::pair<std::string, std::string>>& streams);

}  // namespace vm::test
