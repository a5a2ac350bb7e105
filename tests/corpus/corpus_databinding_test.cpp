// Data-bound content controls of the corpus (ctest label "corpus"): for every control of a main
// text that is bound to a store item the package holds, a word of the control's text is
// replaced; the saved package's store item (the custom XML part whose properties carry the
// binding's id, or docProps/core.xml) then holds the replacement instead of the word.

#include <gtest/gtest.h>

#include <map>

#include "corpus/corpus_util.h"
#include "support/tempdir.h"
#include "word/document.h"
#include "word/error.h"

namespace {

using namespace vm::corpus;

std::string local(const char* name) {
  std::string n = name;
  auto colon = n.find(':');
  return colon == std::string::npos ? n : n.substr(colon + 1);
}

pugi::xml_node childByLocal(pugi::xml_node n, const std::string& name) {
  for (auto c : n.children())
    if (local(c.name()) == name) return c;
  return {};
}

std::string attrByLocal(pugi::xml_node n, const std::string& name) {
  for (auto a : n.attributes())
    if (local(a.name()) == name) return a.value();
  return {};
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Store item id -> part, from the custom XML items' properties and the core properties.
std::map<std::string, std::string> storeParts(const std::vector<ZipEntry>& es) {
  std::map<std::string, std::string> out{{"{6C3C8BC8-F283-45AE-878A-BAB7291924A1}", "docProps/core.xml"}};
  for (auto& e : es) {
    const std::string dir = "customXml/_rels/";
    if (e.name.rfind(dir, 0) != 0) continue;
    std::string item = "customXml/" + e.name.substr(dir.size(), e.name.size() - dir.size() - 5);
    pugi::xml_document rels;
    rels.load_buffer(e.data.data(), e.data.size());
    for (auto rel : rels.document_element().children()) {
      const ZipEntry* props = findEntry(es, "customXml/" + std::string(rel.attribute("Target").value()));
      pugi::xml_document pd;
      if (props && pd.load_buffer(props->data.data(), props->data.size()))
        out[upper(attrByLocal(pd.document_element(), "itemID"))] = item;
    }
  }
  return out;
}

struct BoundControl {
  std::string word, store;
};

// The bound text and date controls of the main text (not in text boxes) with a word of 4+ letters.
std::vector<BoundControl> boundControls(const std::vector<ZipEntry>& es, const std::string& mainPart) {
  std::vector<BoundControl> out;
  const ZipEntry* main = findEntry(es, mainPart);
  if (!main || main->data.find("dataBinding") == std::string::npos) return out;
  auto stores = storeParts(es);
  pugi::xml_document doc;
  doc.load_buffer(main->data.data(), main->data.size());
  struct Walker : pugi::xml_tree_walker {
    std::vector<pugi::xml_node> sdts;
    bool for_each(pugi::xml_node& n) override {
      if (local(n.name()) == "sdt") sdts.push_back(n);
      return true;
    }
  } walker;
  doc.traverse(walker);
  for (auto sdt : walker.sdts) {
    pugi::xml_node pr = childByLocal(sdt, "sdtPr"), binding = childByLocal(pr, "dataBinding");
    if (!binding || !(childByLocal(pr, "text") || childByLocal(pr, "date"))) continue;
    bool inTextBox = false;
    for (auto a = sdt.parent(); a; a = a.parent()) inTextBox |= local(a.name()) == "txbxContent";
    auto store = stores.find(upper(attrByLocal(binding, "storeItemID")));
    if (inTextBox || store == stores.end() || !findEntry(es, store->second)) continue;
    std::string text;
    for (auto t : sdt.select_nodes(".//*[local-name()='t']")) text += t.node().text().get();
    std::vector<vm::word::Paragraph> paras{{text, 0, 0}};
    std::string word = pickWord(paras);
    if (!word.empty()) out.push_back({word, store->second});
  }
  return out;
}

TEST(CorpusDataBinding, BoundDataTakesTheReplacement) {
  const std::string& repl = replacementText();
  int checked = 0;
  for (auto& d : packages(/*flagged=*/false)) {
    const auto before = readZip(d.path());
    const std::string mainPart = mainPartName(before);
    for (auto& c : boundControls(before, mainPart)) {
      SCOPED_TRACE(d.relPath + ": \"" + c.word + "\" bound in " + c.store);
      vm::test::TempDir dir;
      fs::path file = copyIn(d, dir);
      try {
        auto doc = vm::word::open(file);
        EXPECT_GT(doc->mainStory().replaceAll(c.word, repl), 0);
        doc->save();
      } catch (const vm::word::EngineError& e) {
        ADD_FAILURE() << e.userMessage() << " " << e.detail();
        continue;
      }
      const auto after = readZip(file);
      const std::string& was = findEntry(before, c.store)->data;
      const std::string& now = findEntry(after, c.store)->data;
      EXPECT_GT(countOccurrencesCaseless(now, repl), countOccurrencesCaseless(was, repl));
      EXPECT_LT(countOccurrencesCaseless(now, c.word), countOccurrencesCaseless(was, c.word));
      pugi::xml_document parsed;
      EXPECT_TRUE(parsed.load_buffer(now.data(), now.size())) << "the store item is no longer XML";
      ++checked;
    }
  }
  // The corpus holds bound controls in main texts (invoice templates): the case is not empty.
  EXPECT_GE(checked, 5);
  std::cout << "  " << checked << " bound controls checked\n";
}

}  // namespace
