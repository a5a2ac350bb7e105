#pragma once
// What an office-saved file must still hold: the sections with their header and footer texts,
// comments, pictures and shapes, tables, text frames, and the main text where the operations
// did not change it. The office drops some of these when it writes a Word file (the headers of
// a section that does not start a page, for one); roundtrip.h compares the inventory of the
// loaded original with that of the written file before the file replaces the original.
//
// Both inventories are read through the office, so both sides see the document as the office
// imports it: what the office cannot import at all is not seen here.

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include "word/document.h"

namespace vm::word::office {

// What the operations run on a document meant to change; accumulated as they run.
struct Effect {
  std::set<StoryKind> text;      // stories whose text may change
  bool addsPictures = false;     // pictures may be added (a picture replace)
  bool removesPictures = false;  // pictures and shapes may go (watermark removal, clean-up)
  bool removesComments = false;

  Effect& operator+=(const Effect& other);
  bool changesText(StoryKind kind) const { return text.count(kind) > 0; }
};

// Header and footer kinds, as Word names them.
enum class HeaderKind { Default, First, Even };

struct SectionInventory {
  // False for a page style no page uses that holds a header or footer: the office keeps the
  // headers of a Word section that does not start a page in such a style (the section is a
  // text section of the page before), and drops the style when it writes the file.
  bool placed = true;
  // Texts (fields left out) of the header and footer of each kind; none when the section
  // has no such header or footer.
  std::array<std::optional<std::string>, 3> headers, footers;
};

struct DocumentInventory {
  // In body order each page style the body turns to, then the unplaced ones (by name).
  std::vector<SectionInventory> sections;
  int comments = 0;
  int pictures = 0;  // graphic objects, anchored anywhere
  int shapes = 0;    // everything on the draw page: pictures, drawings, text frames, objects
  int tables = 0;    // tables of the body (nested ones not counted)
  std::vector<std::string> frameTexts;  // text frames (text boxes), sorted
  // Paragraph texts of the body (fields left out); taken only when asked for.
  std::optional<std::vector<std::string>> mainText;
};

// Reads the inventory of a loaded document. Call inside a guarded office call. The main text
// costs a walk over every paragraph's pieces: ask for it only when it is to be compared.
DocumentInventory takeInventory(const com::sun::star::uno::Reference<com::sun::star::lang::XComponent>& model,
                                bool withMainText);

}  // namespace vm::word::office
