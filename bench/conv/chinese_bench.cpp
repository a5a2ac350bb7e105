// Chinese script conversion, document by document: open, convertText (OpenCC s2t, every story),
// saveAs, close. The same command line and JSON line as vm_bench_engine, so that run.sh sets
// it beside the replace run on the same documents.
//
//   vm_bench_chinese --list FILES.txt --out DIR [--threads N]

#include "measure.h"
#include "word/chinese.h"
#include "word/document.h"
#include "word/scripttext.h"

int main(int argc, char** argv) {
  auto args = vm::bench::parseArgs(argc, argv, "chinese");
  const vm::word::ChineseConverter converter("s2t");
  const vm::word::TextConverter convert = converter.converter();
  return vm::bench::run(args, [&](const std::filesystem::path& in, const std::filesystem::path& out) {
    auto doc = vm::word::open(in);  // as the replace run opens them
    int n = vm::word::scriptText(*doc).convertText(convert);
    doc->saveAs(out);
    doc->close();
    return n;
  });
}
