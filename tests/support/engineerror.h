#pragma once
// What an engine call throws: the code of its EngineError, each one checked to carry a message
// in Chinese for the user.
//
//   EXPECT_EQ(errorCodeOf([&] { doc->save(); }), ErrorCode::ReadOnly);

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "word/error.h"

namespace vm::test {

// Some character of three bytes or more in UTF-8: Han characters are.
inline bool hasChineseText(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xE0; });
}

// The code of the EngineError f throws; InvalidArgument, with a failure, when it throws none.
template <class F>
vm::word::ErrorCode errorCodeOf(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const vm::word::EngineError& e) {
    EXPECT_TRUE(hasChineseText(e.userMessage())) << e.what() << ": [" << e.userMessage() << "]";
    return e.code();
  }
  ADD_FAILURE() << "no EngineError";
  return vm::word::ErrorCode::InvalidArgument;
}

}  // namespace vm::test

// The statement throws an EngineError of the code, with a Chinese message.
#define EXPECT_ENGINE_ERROR(statement, expectedCode) \
  EXPECT_EQ(vm::test::errorCodeOf([&] { statement; }), expectedCode)
