// The engine's replace, document by document: open, mainStory().replaceAll, saveAs, close.
//
//   vm_bench_engine --list FILES.txt --out DIR [--find 甲方 --repl 委托方] [--threads N]
//
// Prints one JSON line (see measure.h). Word's default find settings (FindOptions{}).

#include "measure.h"
#include "word/document.h"
#include "word/error.h"

int main(int argc, char** argv) {
  auto args = vm::bench::parseArgs(argc, argv, "engine");
  return vm::bench::run(args, [&](const std::filesystem::path& in, const std::filesystem::path& out) {
    auto doc = vm::word::open(in);
    int n = doc->mainStory().replaceAll(args.find, args.repl);
    doc->saveAs(out);
    doc->close();
    return n;
  });
}
