// Word's ^ codes and case adaptation, shared by both back ends. What a replace does with them
// in a document is in the engine cases; here only what those do not reach.

#include <gtest/gtest.h>

#include "support/engineerror.h"
#include "word/wordcodes.h"

namespace {

using namespace vm::word;

TEST(WordCodes, EachTextTakesOnlyItsOwnCodes) {
  // find-side wildcards are refused in the replacement, ^& in the find text
  for (const char* r : {"^?", "^#", "^$", "^w", "a^", "^q", "^u", "^0", "^u1114112", "^u55296"})
    EXPECT_ENGINE_ERROR(readReplacement(r), ErrorCode::BadFindText) << r;
  EXPECT_ENGINE_ERROR(readFindText("a^&", {}), ErrorCode::BadFindText);
  FindOptions wild;
  wild.matchWildcards = true;
  EXPECT_ENGINE_ERROR(readFindText("a", wild), ErrorCode::Unsupported);

  auto t = readReplacement("^& ^p^t^l^m^n^s^~^-^^^u65\r\n\n");
  std::u32string chars;
  for (auto& k : t) chars += k.kind == WordToken::Found ? U'&' : k.c;
  EXPECT_EQ(chars, U"& \r\t\x0B\x0C\x0E\xA0\x1E\x1F^A\r\r");
  auto f = readFindText("^?^#^$^wx", {});
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(f[3].kind, WordToken::White);
}

TEST(WordCodes, CaseForms) {
  EXPECT_EQ(caseFormOf(U"WORD"), CaseForm::AllCapitals);
  EXPECT_EQ(caseFormOf(U"WORD文档"), CaseForm::AllCapitals);
  EXPECT_EQ(caseFormOf(U"Word"), CaseForm::InitialCapital);
  EXPECT_EQ(caseFormOf(U"W"), CaseForm::InitialCapital);
  EXPECT_EQ(caseFormOf(U"word"), CaseForm::AsTyped);
  EXPECT_EQ(caseFormOf(U"中文"), CaseForm::AsTyped);
  // only the replacement's first piece takes the initial capital
  std::u32string first = U"abc", later = U"def";
  applyCaseForm(first, CaseForm::InitialCapital, true);
  applyCaseForm(later, CaseForm::InitialCapital, false);
  EXPECT_EQ(first + later, U"Abcdef");
}

}  // namespace
