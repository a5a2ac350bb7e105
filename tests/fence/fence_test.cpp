// The fence between the source folders: every #include of src/ is checked against src/LAYERS
// (which layer a folder stands in, which layers and Qt modules it may use).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

struct Layer {
  std::set<std::string> qt;    // Qt modules, e.g. "Core"
  std::set<std::string> uses;  // layers below it
  std::string windows;         // layer of its window and dialog files, if any
};

struct Layers {
  std::map<std::string, Layer> layers;
  std::map<std::string, std::string> folderLayer;
};

std::set<std::string> splitCommas(const std::string& s) {
  std::set<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) out.insert(item);
  return out;
}

Layers readLayers(const fs::path& file) {
  Layers l;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::stringstream words(line);
    std::string name, word;
    words >> name;
    Layer& layer = l.layers[name];
    while (words >> word) {
      const auto eq = word.find('=');
      const std::string key = word.substr(0, eq), value = eq == std::string::npos ? "" : word.substr(eq + 1);
      if (key == "folders")
        for (const auto& f : splitCommas(value)) l.folderLayer[f] = name;
      else if (key == "qt")
        layer.qt = splitCommas(value);
      else if (key == "uses")
        layer.uses = splitCommas(value);
      else if (key == "windows")
        layer.windows = value;
    }
  }
  return l;
}

bool isWindowFile(const std::string& name) { return std::regex_search(name, std::regex("(window|dialog)[^/]*\\.(cpp|h)$")); }

// The Qt module of a header: "QtWidgets/QWidget" names it, "QWidget" is looked up in qtRoot.
std::string qtModule(const std::string& header, const fs::path& qtRoot) {
  if (header.rfind("Qt", 0) == 0 && header.find('/') != std::string::npos) return header.substr(2, header.find('/') - 2);
  for (const auto& dir : fs::directory_iterator(qtRoot))
    if (dir.path().filename().string().rfind("Qt", 0) == 0 && fs::exists(dir.path() / header))
      return dir.path().filename().string().substr(2);
  return "";
}

// Every crossing of the fence under srcRoot, one line each ("file: what").
std::vector<std::string> crossings(const fs::path& srcRoot, const Layers& l, const fs::path& qtRoot) {
  std::vector<std::string> out;
  auto layerOf = [&](const std::string& folder, const std::string& name) -> std::string {
    auto it = l.folderLayer.find(folder);
    if (it == l.folderLayer.end()) return "";
    const Layer& layer = l.layers.at(it->second);
    return !layer.windows.empty() && isWindowFile(name) ? layer.windows : it->second;
  };
  const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  for (const auto& entry : fs::recursive_directory_iterator(srcRoot)) {
    const fs::path rel = fs::relative(entry.path(), srcRoot);
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
    const std::string file = rel.generic_string(), folder = rel.begin()->string();
    const std::string own = layerOf(folder, rel.filename().string());
    if (own.empty()) {
      out.push_back(file + ": its folder has no layer");
      continue;
    }
    const Layer& layer = l.layers.at(own);
    std::ifstream in(entry.path());
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
      if (!std::regex_search(line, m, include)) continue;
      const std::string header = m[2];
      if (m[1] == "<") {
        if (header[0] != 'Q') continue;
        const std::string module = qtModule(header, qtRoot);
        if (!module.empty() && !layer.qt.count(module)) out.push_back(file + ": Qt " + module + " <" + header + ">");
        continue;
      }
      const auto slash = header.find('/');
      if (slash == std::string::npos) continue;  // beside the file
      const std::string target = layerOf(header.substr(0, slash), fs::path(header).filename().string());
      if (target.empty() || target == own || layer.uses.count(target)) continue;
      out.push_back(file + ": " + own + " includes " + target + " \"" + header + "\"");
    }
  }
  return out;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& line : lines) s += line + "\n";
  return s;
}

TEST(Fence, SourceTreeStaysInsideItsLayers) {
  const fs::path src = fs::path(VM_SOURCE_DIR) / "src";
  const Layers l = readLayers(src / "LAYERS");
  ASSERT_EQ(l.layers.size(), 5u);
  ASSERT_TRUE(fs::is_directory(VM_QT_INCLUDE_DIR)) << VM_QT_INCLUDE_DIR;
  const auto found = crossings(src, l, VM_QT_INCLUDE_DIR);
  EXPECT_TRUE(found.empty()) << joined(found);
}

TEST(Fence, EveryKindOfCrossingIsFound) {
  vm::test::TempDir dir;
  const fs::path src = dir.path() / "src", qt = dir.path() / "qt";
  for (const char* h : {"QtCore/QString", "QtGui/QColor", "QtWidgets/QWidget", "QtWidgets/QDialog"}) {
    fs::create_directories((qt / h).parent_path());
    std::ofstream(qt / h) << "\n";
  }
  const std::map<std::string, std::string> files = {
      // crossings
      {"word/a.cpp", "#include <QString>\n"},
      {"word/office/b.h", "#include \"app/documentlist.h\"\n"},
      {"app/c.cpp", "#include <QWidget>\n#include <QtWidgets/QDialog>\n"},
      {"rules/d.h", "#  include <QColor>\n"},
      {"ops/e.cpp", "#include \"dialogs/messageboxprompter.h\"\n"},
      {"app/f.cpp", "#include \"app/mainwindow.h\"\n"},
      {"tasks/g.cpp", "#include \"cli/runner.h\"\n"},
      {"cli/h.cpp", "#include \"rules/ruleeditordialog.h\"\n"},
      {"dialogs/i.cpp", "#include \"cli/runner.h\"\n"},
      {"extra/j.cpp", "\n"},
      // allowed
      {"word/k.cpp", "#include <vector>\n#include \"word/document.h\"\n#include \"local.h\"\n// #include <QWidget>\n"},
      {"app/mainwindow.cpp", "#include <QWidget>\n#include \"dialogs/messageboxprompter.h\"\n#include \"rules/replacerules.h\"\n"},
      {"rules/ruledialog.cpp", "#include \"app/mainwindow.h\"\n#include \"ops/replace.h\"\n"},
      {"cli/l.cpp", "#include <QString>\n#include \"ops/replace.h\"\n#include \"word/error.h\"\n"},
      {"bin/m.cpp", "#include <QDialog>\n#include \"cli/runner.h\"\n#include \"app/mainwindow.h\"\n"},
  };
  for (const auto& [name, text] : files) {
    fs::create_directories((src / name).parent_path());
    std::ofstream(src / name) << text;
  }
  auto found = crossings(src, readLayers(fs::path(VM_SOURCE_DIR) / "src" / "LAYERS"), qt);
  std::sort(found.begin(), found.end());
  const std::vector<std::string> expected = {
      "app/c.cpp: Qt Widgets <QWidget>",
      "app/c.cpp: Qt Widgets <QtWidgets/QDialog>",
      "app/f.cpp: model includes widgets \"app/mainwindow.h\"",
      "cli/h.cpp: cli includes widgets \"rules/ruleeditordialog.h\"",
      "dialogs/i.cpp: widgets includes cli \"cli/runner.h\"",
      "extra/j.cpp: its folder has no layer",
      "ops/e.cpp: model includes widgets \"dialogs/messageboxprompter.h\"",
      "rules/d.h: Qt Gui <QColor>",
      "tasks/g.cpp: model includes cli \"cli/runner.h\"",
      "word/a.cpp: Qt Core <QString>",
      "word/office/b.h: engine includes model \"app/documentlist.h\"",
  };
  EXPECT_EQ(found, expected) << joined(found);
}

}  // namespace
