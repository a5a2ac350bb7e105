// The shared header, footer, comment and clean-up cases (tests/word/engine_cases_headers.cpp)
// against the office back end; a routine it has not built is skipped as Unsupported.
#include "word/engine_cases_headers.cpp"
