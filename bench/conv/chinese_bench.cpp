// Chinese script conversion, document by document: open, convertText (OpenCC s2t, every story),
// saveAs, close. The same command line and JSON line as vm_bench_engine, so that run.sh sets
// it beside the replace run on the same documents.
//
//   vm_bench_chinese --list FILES.txt --out DIR [--threads N]
//   vm_bench_chinese --text IN.txt OUT.txt     the converter alone on a text, line by line (run.sh
//                                              sets it beside the opencc command on that text)

#include <chrono>
#include <cstdio>
#include <cstring>

#include "measure.h"
#include "word/chinese.h"
#include "word/document.h"
#include "word/scripttext.h"

namespace {

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int convertTextFile(const char* in, const char* out) {
  const double wall0 = nowSeconds(), cpu0 = vm::bench::cpuSeconds();
  const vm::word::ChineseConverter converter("s2t");
  std::ifstream input(in, std::ios::binary);
  std::ofstream output(out, std::ios::binary);
  std::string line;
  while (std::getline(input, line)) output << converter.convert(line) << '\n';
  output.close();
  std::printf("{\"tool\":\"chinese-text\",\"wall_s\":%.4f,\"cpu_s\":%.4f}\n", nowSeconds() - wall0,
              vm::bench::cpuSeconds() - cpu0);
  return output ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--text") == 0) return convertTextFile(argv[2], argv[3]);
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
