#pragma once
// Data-bound content controls. A w:sdt whose w:sdtPr holds a w:dataBinding shows the value of
// one node of a data store item: a custom XML part (the one whose properties part carries the
// binding's storeItemID as its ds:itemID), or the core or extended document properties under
// their fixed ids. Word re-reads that node when it opens the document, so after a replace has
// changed such a control's text, the new text must be written into the node as Word's own
// replace does, or the old text comes back.
//
// What is written is the control's plain text: the w:t text, tabs as "\t", line breaks and the
// marks between the control's paragraphs as "\n", non-breaking hyphens as U+2011; pictures,
// symbols, note and comment marks, soft hyphens, field codes and deleted text give nothing.
// A drop-down list or combo box writes the value of the list item whose display text it now
// shows; a date picker whose new text is a date of its display format writes that date in the
// form its data has (and in w:fullDate), other text as it is. A control that showed its
// placeholder shows its text from then on. Left alone: picture and check-box controls (their
// data is not text), a node with child elements (Word binds leaves only), a leaf that holds a
// whole flat package (a rich text binding). A missing store item, an XPath that selects
// nothing or a store part that cannot be read leave the data as it is: the document text is
// right either way.

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "word/docx/package.h"
#include "word/docx/storytext.h"
#include "word/docx/wml.h"

namespace vm::word::docx {

// What an XPath selects: an element, or an attribute of one.
struct BoundNode {
  pugi::xml_node element;      // the element, or the attribute's owner
  pugi::xml_attribute attribute;
  explicit operator bool() const { return static_cast<bool>(element); }
};

// Resolves the location paths Word writes into w:xpath: "/ns0:root[1]/ns0:item[2]",
// "/ns0:root[1]/@ns1:attr", steps without a position (the first element that matches),
// "text()" as the last step. Names match by namespace URI: the step prefixes are those bound
// in prefixMappings ("xmlns:ns0='uri' xmlns:ns1='uri'"), whatever prefixes or default
// namespace the data itself uses; an unprefixed step names no namespace, as in XPath. Both
// strings are taken as they stand in the part's XML (entity references are decoded here).
// Other expressions (axes, functions, other predicates) select nothing.
BoundNode selectBoundNode(pugi::xml_node document, std::string_view xpath, std::string_view prefixMappings);

// The plain text of a content control, as it goes into its bound node.
std::string controlText(pugi::xml_node sdt, const Wml& w);

// The bound content controls that one replace touches. Matches are added before the edit (the
// controls' texts are taken then); write() after it puts the new text of every control whose
// text changed into its bound node.
class BoundControls {
 public:
  explicit BoundControls(const Wml& w);

  // The bound controls around the characters [begin, end) of the story text, up to `stop`
  // (the story's container). Matches come in text order.
  void addMatch(const StoryText& text, std::size_t begin, std::size_t end, pugi::xml_node stop);
  bool empty() const { return controls_.empty(); }
  // Whether text index i lies in a bound plain-text control inside a paragraph. Such a control
  // holds one paragraph: a paragraph mark put there would split it into two controls that
  // both show the whole bound text, so the replace puts a line break instead, as a multi-line
  // plain-text control takes a new line.
  bool inInlinePlainText(const StoryText& text, std::size_t i) const;
  // Returns the number of bound nodes whose value changed.
  int write(Package& package);

 private:
  struct Control {
    pugi::xml_node sdt;
    std::string before;
  };
  void addEnclosing(pugi::xml_node from, pugi::xml_node stop);
  bool bound(pugi::xml_node sdt) const;
  bool holdsControl(pugi::xml_node parent) const;
  pugi::xml_node paragraphOf(pugi::xml_node n, pugi::xml_node fallback) const;

  Wml w_;
  std::string sdtPr_, dataBinding_;
  std::size_t cursor_ = 0;       // the paragraph of the last match
  pugi::xml_node lastPara_;      // the last paragraph looked at,
  bool inlineControls_ = false;  // and whether it holds content controls
  std::vector<Control> controls_;
  std::unordered_set<const void*> seen_;
};

}  // namespace vm::word::docx
