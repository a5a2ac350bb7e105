#pragma once
// Applies replacements to the XML of a story, the way Word's ReplaceAll leaves it:
//  - the replacement goes where the match's first character was, inside that character's run
//    (so it takes that run's formatting); when the match starts with a paragraph mark, into a
//    new run with the mark's formatting at the end of that paragraph;
//  - the matched characters are removed from their runs wherever they are (other runs,
//    hyperlinks, smart tags, content controls); runs left empty are removed;
//  - a matched paragraph mark joins its paragraph with the next one (the joined paragraph keeps
//    the next one's paragraph properties); a paragraph mark in the replacement splits the
//    paragraph there, the new paragraph taking the properties of the paragraph it came from
//    (without its section break).
// Matches are applied from the last to the first, so that the positions found in the
// unchanged text stay valid; edits inside one text node are collected and written in one pass.

#include <cstddef>
#include <string>
#include <vector>

#include "word/docx/findpattern.h"
#include "word/docx/storytext.h"
#include "word/docx/wml.h"

namespace vm::word::docx {

struct Replacement {
  std::size_t begin = 0, end = 0;          // indexes into the story text
  const std::vector<Piece>* pieces = nullptr;  // owned by the caller; may be shared by matches
};

// Replacements recorded as tracked changes, as Word records them with Track Changes on: the
// matched runs go into w:del (their w:t become w:delText), a matched paragraph mark gets a
// w:del in its paragraph's mark properties (the paragraphs stay apart in the XML), and the
// replacement is a new run in w:ins with the formatting of the match's first character, right
// after the match's deleted content in its first paragraph; a paragraph mark in the
// replacement starts a paragraph whose mark is marked w:ins. Text the same author inserted
// before (an earlier rule's replacement) is simply removed.
struct Revision {
  std::string author;
  std::string date;  // UTC, e.g. 2026-12-07T02:00:00Z
  long nextId = 1;   // the next w:id to give (above every id of the part)
};

// Replacements must be sorted and must not overlap. The story text is stale afterwards.
// With a revision the changes are tracked and revision->nextId moves past the ids given.
void applyReplacements(const StoryText& text, const Wml& w, const std::vector<Replacement>& replacements,
                       Revision* revision = nullptr);

// Escapes text for a raw (unescaped) pcdata value.
std::string escapeText(std::u32string_view text);

}  // namespace vm::word::docx
