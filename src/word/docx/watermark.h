#pragma once
// Watermark shapes as Word puts them in a header: text as VML WordArt (the form every Word and
// LibreOffice reads), a picture as a floating DrawingML picture; and the header style's border.

#include <string>
#include <utility>

#include "word/document.h"
#include "word/docx/package.h"

namespace vm::word::docx {

// The WordArt's size in points (width, height): its own size (the font size high, a full-width
// character as wide as high, others half) scaled as Word scales a shape with its aspect locked,
// first to the height and then to the width, which leaves the width given and the own aspect.
std::pair<double, double> wordArtSize(const Watermark& mark);

struct VmlPrefixes {
  std::string v, o;  // with their colons
};

// The inside of a w:pict for a text watermark: the WordArt shape type (when the part has not
// declared it yet) and the shape. spid: a shape number unused in the document.
std::string wordArtPict(const Watermark& mark, const VmlPrefixes& p, bool withShapeType, long spid);

// A w:drawing with a floating picture at its own size, in front of the text.
std::string floatingPictureDrawing(const std::string& wp, const std::string& r, const std::string& rid,
                                   long cx, long cy, long id, const std::string& fileName);

// The built-in header paragraph style (Word's name "header", whatever its id or shown name)
// gets no bottom border. False when the document defines no such style.
bool removeHeaderStyleBorder(Package& package);

}  // namespace vm::word::docx
