#pragma once
// A fresh temporary folder for one test, removed with everything in it when the object dies.
//
//   vm::test::TempDir dir;
//   auto doc = dir.file("a.docx");        // dir.path() / "a.docx" (not created)

#include <filesystem>
#include <string>

namespace vm::test {

class TempDir {
 public:
  // Creates <system temp>/vm-test-XXXXXX (mkdtemp: unique, safe across threads/processes).
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers (binary). readFile throws std::runtime_error when the file cannot be read.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace vm::test
