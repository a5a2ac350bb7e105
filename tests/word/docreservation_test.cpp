// A Word 97-2003 document's write password, read from the compound file: a small file built
// here (its streams in regular sectors) and the corpus's documents (theirs mostly in the mini
// stream).

#include <gtest/gtest.h>


#include "support/compoundfile.h"
#include "support/tempdir.h"
#include "word/compoundfile.h"
#include "word/docreservation.h"
#include "word/docreservationwrite.h"
#include "word/error.h"

using namespace vm::word;

namespace {

void put(std::string& s, std::size_t at, std::uint32_t v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// A compound file with a WordDocument stream (a FIB) and a 1Table stream holding the 18
// associated strings, the write password at 0x11; each stream in 8 regular sectors.
std::string reservedDoc(const std::u16string& password, bool flagged) {
  std::string table(4096, '\0');
  std::size_t at = 6;
  put(table, 0, 0xFFFF, 2);
  put(table, 2, 18, 2);
  for (int i = 0; i < 18; ++i) {
    const std::u16string s = i == 0x11 ? password : i == 2 ? u"标题" : u"";
    put(table, at, static_cast<std::uint32_t>(s.size()), 2);
    at += 2;
    for (char16_t c : s) put(table, (at += 2) - 2, c, 2);
  }
  std::string fib(4096, '\0');
  put(fib, 0, 0xA5EC, 2);
  put(fib, 0x0A, 0x0200 | (flagged ? 0x0800 : 0), 2);
  put(fib, 32, 14, 2);
  put(fib, 62, 22, 2);
  put(fib, 152, 93, 2);
  put(fib, 154 + 32 * 8, 0, 4);
  put(fib, 154 + 32 * 8 + 4, static_cast<std::uint32_t>(at), 4);
  return vm::test::compoundFile({{"WordDocument", fib}, {"1Table", table}});  // FAT in sector 0, streams from 2
}

}  // namespace

TEST(DocWriteReservation, ThePasswordOfAWriteReservedFileAndNoneElse) {
  EXPECT_EQ(docWriteReservation(reservedDoc(u"密码1", true)), "密码1");
  EXPECT_EQ(docWriteReservation(reservedDoc(u"x\U0001F600", true)), "x\U0001F600");
  EXPECT_EQ(docWriteReservation(reservedDoc(u"密码1", false)), std::nullopt);  // not flagged
  EXPECT_EQ(docWriteReservation(reservedDoc(u"", true)), std::nullopt);
  EXPECT_EQ(docWriteReservation("PK\3\4 not a compound file"), std::nullopt);
  // Cut anywhere, or with its chains broken, a file reads as having none.
  const std::string whole = reservedDoc(u"密码1", true);
  for (std::size_t size = 0; size < whole.size(); size += 509)
    EXPECT_EQ(docWriteReservation(whole.substr(0, size)), std::nullopt) << size;
  std::string looped = whole;
  put(looped, 512 + 4 * 9, 2, 4);  // WordDocument's chain back to its start
  put(looped, 512 + 4 * 17, 10, 4);
  EXPECT_EQ(docWriteReservation(looped), std::nullopt);
}

TEST(DocWriteReservation, CorpusDocumentsReadAndNoneIsReserved) {
  if (!std::filesystem::exists(VM_CORPUS_DIR)) GTEST_SKIP() << "no corpus";
  int read = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(VM_CORPUS_DIR)) {
    if (e.path().extension() != ".doc" || e.file_size() > (8 << 20)) continue;
    const std::string file = vm::test::readFile(e.path());
    const auto fib = compoundStream(file, "worddocument");
    if (!fib || fib->size() < 32 || (static_cast<unsigned char>((*fib)[0x0B]) & 0x01)) continue;  // encrypted
    SCOPED_TRACE(e.path().string());
    const int ident = static_cast<unsigned char>((*fib)[0]) | static_cast<unsigned char>((*fib)[1]) << 8;
    EXPECT_TRUE(ident == 0xA5EC || ident == 0xA5DC) << ident;  // Word 97 and later, Word 6 and 95
    EXPECT_EQ(docWriteReservation(file), std::nullopt);
    ++read;
  }
  EXPECT_GE(read, 50);
}

namespace {

std::string u16bytes(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

}  // namespace

// Written into a copy, the password reads back; the file's other associated strings stay, every
// other stream is byte for byte the same; an empty password removes it.
TEST(DocWriteReservation, WrittenReadsBackWithEverythingElseKept) {
  vm::test::TempDir dir;
  std::vector<std::filesystem::path> docs{dir.file("built.doc")};
  vm::test::writeFile(docs[0], reservedDoc(u"旧", false));
  if (std::filesystem::exists(VM_CORPUS_DIR))
    for (const auto& e : std::filesystem::recursive_directory_iterator(VM_CORPUS_DIR)) {
      if (docs.size() >= 12 || e.path().extension() != ".doc" || e.file_size() > (4 << 20)) continue;
      const auto fib = compoundStream(vm::test::readFile(e.path()), "WordDocument");
      if (!fib || fib->size() < 32 || (*fib)[0] != '\xEC' || ((*fib)[0x0B] & 0x01)) continue;  // Word 97, not encrypted
      docs.push_back(dir.file(std::to_string(docs.size()) + ".doc"));
      std::filesystem::copy_file(e.path(), docs.back());
    }
  for (const auto& path : docs) {
    SCOPED_TRACE(path.string());
    const std::string before = vm::test::readFile(path);
    setDocWriteReservation(path, "密码12345678901");
    const std::string after = vm::test::readFile(path);
    EXPECT_EQ(docWriteReservation(after), "密码12345678901");
    const auto fib0 = compoundStream(before, "WordDocument"), fib1 = compoundStream(after, "WordDocument");
    ASSERT_TRUE(fib0 && fib1);
    ASSERT_EQ(fib0->size(), fib1->size());
    int changed = 0;
    for (std::size_t i = 0; i < fib0->size(); ++i) changed += (*fib0)[i] != (*fib1)[i];
    EXPECT_LE(changed, 9);  // the flag and fcSttbfAssoc/lcbSttbfAssoc
    const char* table = (*fib0)[0x0B] & 0x02 ? "1Table" : "0Table";
    const auto t0 = compoundStream(before, table), t1 = compoundStream(after, table);
    ASSERT_TRUE(t0 && t1);
    EXPECT_EQ(t1->substr(0, t0->size()), *t0);  // appended
    if (path == docs[0]) EXPECT_NE(t1->find(u16bytes(u"标题"), t0->size()), std::string::npos);
    for (const char* name : {"0Table", "1Table", "Data", "\x01" "CompObj", "\x05SummaryInformation",
                             "\x05" "DocumentSummaryInformation", "ObjectPool"})
      if (name != std::string_view(table)) EXPECT_EQ(compoundStream(after, name), compoundStream(before, name)) << name;
    setDocWriteReservation(path, "");
    EXPECT_EQ(docWriteReservation(vm::test::readFile(path)), std::nullopt);
  }
  EXPECT_GE(docs.size(), 5u);
}

// Anything it cannot do leaves the file as it was and nothing beside it.
TEST(DocWriteReservation, AFailedWriteLeavesTheFile) {
  vm::test::TempDir dir;
  const std::string docx = "PK\3\4 not a compound file", doc = reservedDoc(u"", false);
  const std::string noFib = vm::test::compoundFile({{"WordDocument", std::string(600, '\0')}, {"1Table", std::string(600, '\0')}});
  for (const auto& [bytes, password] : {std::pair{docx, "a"}, {noFib, "a"}, {doc, "1234567890123456"}}) {
    const auto path = dir.file("x.doc");
    vm::test::writeFile(path, bytes);
    EXPECT_THROW(setDocWriteReservation(path, password), EngineError);
    EXPECT_EQ(vm::test::readFile(path), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  }
}
