// The header operations' engine work, document by document, against the replace run on the
// same documents: open, work, saveAs, close.
//
//   vm_bench_headers --mode replace|header|watermark|clean --list FILES.txt --out DIR
//
// header: text at the start of the current page header (made when missing), its line removed;
// watermark: a WordArt watermark there and the header style's line removed; clean: all six
// clean-up options in their order. Prints one JSON line (see ../engine/measure.h).

#include <cstring>

#include "measure.h"
#include "word/document.h"
#include "word/error.h"

int main(int argc, char** argv) {
  std::string mode = "replace";
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc) mode = argv[++i];
    else rest.push_back(argv[i]);
  }
  auto args = vm::bench::parseArgs(static_cast<int>(rest.size()), rest.data(), "headers-" + mode);
  using vm::word::StoryKind;
  return vm::bench::run(args, [&](const std::filesystem::path& in, const std::filesystem::path& out) {
    auto doc = vm::word::open(in);
    int n = 0;
    if (mode == "replace") {
      n = doc->mainStory().replaceAll(args.find, args.repl);
    } else if (mode == "header") {
      vm::word::Story& head = doc->ensureStory(StoryKind::Header);
      head.insertTextAtStart("机密文件");
      head.removeFirstParagraphBorder();
      n = 1;
    } else if (mode == "watermark") {
      vm::word::Watermark mark;
      mark.text = "内部资料";
      mark.colour = 0xC0C0C0;
      mark.transparency = 0.5;
      mark.heightPt = 30 / 0.3528;
      mark.widthPt = 100 / 0.3528;
      doc->ensureStory(StoryKind::Header).addWatermark(mark);
      doc->removeHeaderStyleBorder();
      n = 1;
    } else if (mode == "clean") {
      vm::word::Story& main = doc->mainStory();
      n += main.removeHyperlinks();
      n += main.removeBlankParagraphs();
      n += main.replaceAll(" ", "");
      for (StoryKind kind : {StoryKind::Header, StoryKind::Footer})
        for (vm::word::Story* s : doc->stories(kind)) s->clear();
      n += doc->deleteComments();
    } else {
      throw std::runtime_error("unknown mode " + mode);
    }
    doc->saveAs(out);
    doc->close();
    return n;
  });
}
