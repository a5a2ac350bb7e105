// Watermarks over UNO: WordArt as a fontwork shape (the office writes it to Word files as
// WordArt) or a floating picture, anchored in a header; and the header style's bottom line.

#include <algorithm>
#include <cmath>

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/FillStyle.hpp>
#include <com/sun/star/drawing/LineStyle.hpp>
#include <com/sun/star/drawing/XEnhancedCustomShapeDefaulter.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/text/HoriOrientation.hpp>
#include <com/sun/star/text/RelOrientation.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/VertOrientation.hpp>
#include <com/sun/star/text/WrapTextMode.hpp>
#include <com/sun/star/text/XTextContent.hpp>

#include "word/docx/watermark.h"
#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

using css::beans::XPropertySet;

sal_Int32 hundredthsOfMm(double points) { return static_cast<sal_Int32>(std::lround(points * 2540.0 / 72.0)); }

// Floating in front of the text, without wrapping it.
void floatInFront(const Reference<XPropertySet>& ps) {
  ps->setPropertyValue(ou("AnchorType"), Any(text::TextContentAnchorType_AT_PARAGRAPH));
  ps->setPropertyValue(ou("Surround"), Any(text::WrapTextMode_THROUGH));
  ps->setPropertyValue(ou("Opaque"), Any(true));
}

// Where Word's Left and Top put the shape: centred on the axis, else at 0; relative to the
// margins (formatted WordArt) or to the paragraph (a picture, an unformatted WordArt).
void position(const Reference<XPropertySet>& ps, bool margins, bool centreH, bool centreV) {
  ps->setPropertyValue(ou("HoriOrient"), Any(centreH ? text::HoriOrientation::CENTER : text::HoriOrientation::NONE));
  ps->setPropertyValue(ou("VertOrient"), Any(centreV ? text::VertOrientation::CENTER : text::VertOrientation::NONE));
  if (!centreH) ps->setPropertyValue(ou("HoriOrientPosition"), Any(sal_Int32(0)));
  if (!centreV) ps->setPropertyValue(ou("VertOrientPosition"), Any(sal_Int32(0)));
  const sal_Int16 rel = margins ? text::RelOrientation::PAGE_PRINT_AREA : text::RelOrientation::FRAME;
  ps->setPropertyValue(ou("HoriOrientRelation"), Any(rel));
  ps->setPropertyValue(ou("VertOrientRelation"), Any(rel));
}

void insertAtStart(const Reference<XText>& t, const Reference<css::uno::XInterface>& object) {
  auto c = t->createTextCursor();
  c->gotoStart(false);
  t->insertTextContent(asRange(c), Reference<text::XTextContent>(object, UNO_QUERY_THROW), false);
}

void addWordArt(DocState& st, const Reference<XText>& header, const Watermark& mark) {
  Reference<css::lang::XMultiServiceFactory> f(st.model, UNO_QUERY_THROW);
  Reference<css::drawing::XShape> shape(f->createInstance(ou("com.sun.star.drawing.CustomShape")), UNO_QUERY_THROW);
  Reference<XPropertySet> ps(shape, UNO_QUERY_THROW);
  floatInFront(ps);
  insertAtStart(header, shape);
  Reference<css::drawing::XEnhancedCustomShapeDefaulter>(shape, UNO_QUERY_THROW)
      ->createCustomShapeDefaults(ou("fontwork-plain-text"));
  Reference<XTextRange>(shape, UNO_QUERY_THROW)->setString(ou(mark.text));
  for (const char* font : {"CharFontName", "CharFontNameAsian"}) ps->setPropertyValue(ou(font), Any(ou(mark.font)));
  for (const char* height : {"CharHeight", "CharHeightAsian"})
    ps->setPropertyValue(ou(height), Any(static_cast<float>(mark.fontSize)));
  auto [width, height] = vm::word::docx::wordArtSize(mark);
  shape->setSize(css::awt::Size(hundredthsOfMm(width), hundredthsOfMm(height)));
  ps->setPropertyValue(ou("FillStyle"), Any(css::drawing::FillStyle_SOLID));
  if (!mark.formatted) {
    // As added: black, at the paragraph's corner.
    ps->setPropertyValue(ou("FillColor"), Any(sal_Int32(0)));
    position(ps, false, false, false);
    return;
  }
  Reference<css::container::XNamed>(shape, UNO_QUERY_THROW)->setName(ou("msoTextEffect1"));
  ps->setPropertyValue(ou("LineStyle"), Any(css::drawing::LineStyle_NONE));
  // Word's colour number holds red in its lowest byte, the office's in its highest.
  const std::uint32_t c = mark.colour;
  ps->setPropertyValue(ou("FillColor"),
                       Any(static_cast<sal_Int32>(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF))));
  ps->setPropertyValue(ou("FillTransparence"),
                       Any(static_cast<sal_Int16>(std::lround(std::clamp(mark.transparency, 0.0, 1.0) * 100))));
  position(ps, true, mark.centreHorizontally, mark.centreVertically);
}

void addPicture(DocState& st, const Reference<XText>& header, const fs::path& picture) {
  const LoadedPicture loaded = loadPicture(st, picture);  // before anything changes
  auto obj = newGraphicObject(st, loaded);
  floatInFront(obj);
  position(obj, false, false, false);
  insertAtStart(header, obj);
}

}  // namespace

void OfficeStory::addWatermark(const Watermark& watermark) {
  if (kind_ != StoryKind::Header && kind_ != StoryKind::Footer) return Story::addWatermark(watermark);
  Watermark mark = watermark;
  if (mark.text.empty()) mark.picture = fs::absolute(mark.picture);
  doc_.apply("addWatermark", [mark, this](DocState& st) {
    Reference<XText> t = resolve(st);
    if (mark.text.empty())
      addPicture(st, t, mark.picture);
    else
      addWordArt(st, t, mark);
    return 1;
  }, Effect{.text = {kind_}, .addsPictures = true});
}

// The built-in header paragraph style by the office's own name for it ("Header", whatever
// name Word showed).
void OfficeDocument::removeHeaderStyleBorder() {
  apply("removeHeaderStyleBorder", [](DocState& st) {
    Reference<css::style::XStyleFamiliesSupplier> fs(st.model, UNO_QUERY_THROW);
    Reference<css::container::XNameAccess> paras(fs->getStyleFamilies()->getByName(ou("ParagraphStyles")), UNO_QUERY_THROW);
    if (!paras->hasByName(ou("Header"))) return 0;
    Reference<XPropertySet> style(paras->getByName(ou("Header")), UNO_QUERY_THROW);
    css::table::BorderLine2 line;
    style->getPropertyValue(ou("BottomBorder")) >>= line;
    if (line.LineWidth == 0 && line.OuterLineWidth == 0 && line.InnerLineWidth == 0) return 0;
    style->setPropertyValue(ou("BottomBorder"), Any(css::table::BorderLine2()));
    style->setPropertyValue(ou("BottomBorderDistance"), Any(sal_Int32(0)));
    return 1;
  });
}

}  // namespace vm::word::office
