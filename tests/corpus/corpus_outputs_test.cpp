// Every output of the engine opens again elsewhere: one case that batches the whole corpus.
//
// Each unflagged corpus package gets a text replacement (a word of its main text) and a picture
// replacement (another word), saved under a new name. Then ONE LibreOffice run converts all
// outputs to text (the replacement must show in it) and ONE python-docx process (Debian's
// python3-docx) opens them all (the replacement is in the body's text and the inline pictures
// are there). A document that LibreOffice or python-docx cannot open in its original form
// either is reported, not failed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <thread>

#include "corpus/corpus_util.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"
#include "word/error.h"

namespace {

using namespace vm::corpus;

struct Output {
  CorpusDoc doc;
  std::string id;  // NNN
  fs::path input, output;
  std::string word, pictureWord;
  int replaced = 0, pictures = 0;
  bool saved = false;
};

std::string findProgram(const std::vector<std::string>& candidates) {
  for (auto& c : candidates) {
    if (c.find('/') != std::string::npos) {
      if (fs::exists(c)) return c;
      continue;
    }
    const char* path = std::getenv("PATH");
    std::stringstream ss(path ? path : "");
    std::string dir;
    while (std::getline(ss, dir, ':'))
      if (!dir.empty() && fs::exists(fs::path(dir) / c)) return (fs::path(dir) / c).string();
  }
  return {};
}

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// One soffice run over all files; returns the exit status.
int convertToText(const std::string& soffice, const std::vector<fs::path>& files, const fs::path& outDir,
                  const fs::path& profile, const fs::path& log) {
  fs::create_directories(outDir);
  if (files.empty()) return 0;  // soffice without files would wait forever
  std::string cmd = "timeout -k 10 300 " + shellQuote(soffice) + " --headless --norestore --nologo" +
                    " -env:UserInstallation=file://" + profile.string() +
                    " --convert-to 'txt:Text (encoded):UTF8' --outdir " + shellQuote(outDir.string());
  for (auto& f : files) cmd += " " + shellQuote(f.string());
  cmd += " >" + shellQuote(log.string()) + " 2>&1";
  return std::system(cmd.c_str());
}

const char* kPyCheck = R"PY(
import sys, traceback
import docx
from docx.opc.part import PartFactory
from docx.package import Package
from docx.parts.document import DocumentPart

W = 'http://schemas.openxmlformats.org/wordprocessingml/2006/main'

# python-docx knows the main part of a .docx only; .docm, .dotx and .dotm main parts are the same
# WordprocessingML under other content types.
for ct in ('application/vnd.ms-word.document.macroEnabled.main+xml',
           'application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml',
           'application/vnd.ms-word.template.macroEnabledTemplate.main+xml'):
    PartFactory.part_type_for[ct] = DocumentPart

def load(path):
    try:
        return docx.Document(path)
    except ValueError as e:
        # python-docx refuses macro-enabled documents and templates by content type only.
        if 'is not a Word file' not in str(e):
            raise
        return Package.open(path).main_document_part.document

def probe(path, repl):
    d = load(path)
    body = d.element.body
    text = ''.join(t.text or '' for t in body.iter('{%s}t' % W))
    for p in d.paragraphs:
        p.text
        for r in p.runs:
            r.text
    for t in d.tables:  # python-docx's cell access is quadratic: the first row is enough
        for row in list(t.rows)[:1]:
            for c in row.cells:
                c.text
    shapes = 0
    for s in d.inline_shapes:
        s.width, s.height, s.type
        shapes += 1
    return text.lower().count(repl.lower()), len(body.xpath('.//wp:inline')), shapes

def result(path, repl):
    try:
        hits, inlines, shapes = probe(path, repl)
        return ['ok', str(hits), str(inlines), str(shapes)]
    except Exception as e:
        msg = (type(e).__name__ + ': ' + str(e)).replace('\t', ' ').replace('\n', ' ')[:300]
        return ['fail ' + msg, '0', '0', '0']

with open(sys.argv[1], encoding='utf-8') as f, open(sys.argv[2], 'w', encoding='utf-8') as out:
    for line in f:
        ident, orig, new, repl = line.rstrip('\n').split('\t')
        out.write('\t'.join([ident] + result(orig, repl) + result(new, repl)) + '\n')
)PY";

TEST(CorpusOutputs, OpenInLibreOfficeAndPythonDocx) {
  const auto t0 = std::chrono::steady_clock::now();
  vm::test::TempDir dir;
  fs::create_directories(dir.file("in"));
  fs::create_directories(dir.file("out"));
  fs::path picture = dir.file("pic.png");
  vm::test::writeFile(picture, vm::test::png(4, 2));
  const std::string& repl = replacementText();

  std::vector<Output> outputs;
  int index = 0;
  for (auto& d : packages(/*flagged=*/false)) {
    Output o;
    o.doc = d;
    char id[16];
    std::snprintf(id, sizeof id, "%03d", ++index);
    o.id = id;
    o.input = copyIn(d, dir, "in/" + o.id);
    o.output = dir.file("out") / (o.id + d.extension());
    try {
      auto doc = vm::word::open(o.input);
      auto paras = doc->mainStory().paragraphs();
      o.word = pickWord(paras);
      o.pictureWord = o.word.empty() ? "" : pickWord(paras, {o.word});
      if (!o.word.empty()) o.replaced = doc->mainStory().replaceAll(o.word, repl);
      if (!o.pictureWord.empty()) o.pictures = doc->mainStory().replaceWithPicture(o.pictureWord, picture);
      doc->saveAs(o.output);
      doc->close();
      o.saved = fs::exists(o.output);
      EXPECT_TRUE(o.saved) << d.relPath << ": saveAs wrote nothing";
    } catch (const vm::word::EngineError& e) {
      ADD_FAILURE() << d.relPath << ": " << e.userMessage() << " " << e.detail();
    }
    outputs.push_back(o);
  }
  const auto t1 = std::chrono::steady_clock::now();

  const std::string soffice = findProgram({"soffice", "libreoffice", "/usr/lib/libreoffice/program/soffice"});
  ASSERT_FALSE(soffice.empty()) << "LibreOffice (soffice) is not installed: scripts/setup.sh installs it";
  // python-docx: one process over originals and outputs, run while LibreOffice converts.
  const std::string python = findProgram({"/usr/bin/python3", "python3"});
  ASSERT_FALSE(python.empty()) << "python3 is not installed";
  vm::test::writeFile(dir.file("check.py"), kPyCheck);
  {
    std::string list;
    for (auto& o : outputs)
      if (o.saved) list += o.id + "\t" + o.input.string() + "\t" + o.output.string() + "\t" + repl + "\n";
    vm::test::writeFile(dir.file("list.tsv"), list);
  }
  const std::string pyCmd = shellQuote(python) + " " + shellQuote(dir.file("check.py").string()) + " " +
                            shellQuote(dir.file("list.tsv").string()) + " " +
                            shellQuote(dir.file("pydocx.tsv").string()) + " >" +
                            shellQuote(dir.file("py.log").string()) + " 2>&1";
  int pyRc = -1;
  double pySeconds = 0;
  std::thread pyThread([&] {
    auto start = std::chrono::steady_clock::now();
    pyRc = std::system(pyCmd.c_str());
    pySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  });

  // LibreOffice: one run over every output.
  std::vector<fs::path> files;
  for (auto& o : outputs)
    if (o.saved) files.push_back(o.output);
  if (files.empty()) {
    pyThread.join();
    FAIL() << "the engine saved no output at all";
  }
  int rc = convertToText(soffice, files, dir.file("txt"), dir.file("lo-profile"), dir.file("soffice.log"));
  EXPECT_EQ(rc, 0) << "soffice failed: " << readFile(dir.file("soffice.log"));

  std::vector<const Output*> unreadable;
  int shown = 0;
  for (auto& o : outputs) {
    if (!o.saved) continue;
    fs::path txt = dir.file("txt") / (o.id + ".txt");
    if (!fs::exists(txt)) {
      unreadable.push_back(&o);
      continue;
    }
    // LibreOffice shows a data-bound content control's stored data, not its text: the engine
    // writes a replacement in such a control into that data too, so these are checked as well.
    if (o.replaced > 0) {
      std::size_t hits = countOccurrencesCaseless(readFile(txt), repl);
      EXPECT_GE(hits, 1u) << o.doc.relPath << ": LibreOffice's text does not show the replacement of \"" << o.word
                          << "\" (" << o.replaced << " replaced)";
      if (hits) ++shown;
    }
  }
  // Outputs LibreOffice could not load: fine only if it cannot load the original either.
  if (!unreadable.empty()) {
    std::vector<fs::path> originals;
    for (auto* o : unreadable) originals.push_back(o->input);
    convertToText(soffice, originals, dir.file("txt-orig"), dir.file("lo-profile"), dir.file("soffice-orig.log"));
    for (auto* o : unreadable) {
      if (fs::exists(dir.file("txt-orig") / (o->id + ".txt")))
        ADD_FAILURE() << o->doc.relPath << ": LibreOffice opens the original but not the engine's output";
      else
        std::cout << "  LibreOffice cannot open the original either: " << o->doc.relPath << "\n";
    }
  }
  const auto t3 = std::chrono::steady_clock::now();
  pyThread.join();
  ASSERT_EQ(pyRc, 0) << "python-docx check failed (is python3-docx installed?): " << readFile(dir.file("py.log"));

  std::map<std::string, const Output*> byId;
  for (auto& o : outputs) byId[o.id] = &o;
  std::stringstream rows(readFile(dir.file("pydocx.tsv")));
  std::string line;
  int pyChecked = 0, pyExcused = 0;
  while (std::getline(rows, line)) {
    std::vector<std::string> c;
    std::stringstream ss(line);
    std::string col;
    while (std::getline(ss, col, '\t')) c.push_back(col);
    ASSERT_EQ(c.size(), 9u) << line;
    const Output& o = *byId.at(c[0]);
    const bool origOk = c[1] == "ok", outOk = c[5] == "ok";
    if (!origOk) {
      ++pyExcused;
      std::cout << "  python-docx cannot open the original: " << o.doc.relPath << " (" << c[1] << ")"
                << (outOk ? "; it opens the output" : "") << "\n";
      continue;
    }
    ++pyChecked;
    EXPECT_TRUE(outOk) << o.doc.relPath << ": python-docx opens the original but not the output: " << c[5];
    if (!outOk) continue;
    if (o.replaced > 0) {
      EXPECT_GE(std::stoi(c[6]), 1) << o.doc.relPath << ": python-docx does not see the replacement of \"" << o.word
                                    << "\"";
    }
    EXPECT_EQ(std::stoi(c[7]) - std::stoi(c[3]), o.pictures)
        << o.doc.relPath << ": python-docx does not see the inserted pictures (\"" << o.pictureWord << "\")";
  }
  auto secs = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
  std::cout << "  " << outputs.size() << " outputs (" << shown << " with the replacement in LibreOffice's text, "
            << unreadable.size() << " not loaded by LibreOffice; python-docx checked " << pyChecked << ", excused "
            << pyExcused << ")\n  engine " << secs(t0, t1) << " s, LibreOffice " << secs(t1, t3)
            << " s, python-docx " << pySeconds << " s (beside LibreOffice)\n";
}

}  // namespace
