// The inventory of a loaded document, read through UNO (see inventory.h).

#include "word/office/inventory.h"

#include <algorithm>
#include <map>

#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <rtl/ustrbuf.hxx>

#include "word/office/internal.h"

namespace vm::word::office {

using css::beans::XPropertySet;
using css::container::XEnumerationAccess;
using css::lang::XServiceInfo;
using css::text::XText;
using css::text::XTextRange;

Effect& Effect::operator+=(const Effect& other) {
  text.insert(other.text.begin(), other.text.end());
  addsPictures = addsPictures || other.addsPictures;
  removesPictures = removesPictures || other.removesPictures;
  removesComments = removesComments || other.removesComments;
  return *this;
}

namespace {

bool isA(const Reference<css::uno::XInterface>& x, const char* service) {
  Reference<XServiceInfo> si(x, UNO_QUERY);
  return si.is() && si->supportsService(ou(service));
}

// A paragraph's text without its fields: a field's result may rightly differ in the written
// file (a file name, a page count after a new layout).
OUString paragraphText(const Reference<css::uno::XInterface>& para) {
  Reference<XEnumerationAccess> ea(para, UNO_QUERY);
  if (!ea.is()) return {};
  rtl::OUStringBuffer out;
  auto portions = ea->createEnumeration();
  while (portions->hasMoreElements()) {
    Reference<XPropertySet> pp(portions->nextElement(), UNO_QUERY);
    if (!pp.is()) continue;
    OUString type;
    pp->getPropertyValue(ou("TextPortionType")) >>= type;
    if (type != "Text") continue;
    Reference<XTextRange> r(pp, UNO_QUERY);
    if (r.is()) out.append(r->getString());
  }
  return out.makeStringAndClear();
}

// The paragraphs of a text, tables' cells left out (their text is counted with the table).
std::vector<std::string> paragraphTexts(const Reference<XText>& text) {
  std::vector<std::string> out;
  Reference<XEnumerationAccess> ea(text, UNO_QUERY);
  if (!ea.is()) return out;
  auto en = ea->createEnumeration();
  while (en->hasMoreElements()) {
    Reference<css::uno::XInterface> el(en->nextElement(), UNO_QUERY);
    if (isA(el, "com.sun.star.text.Paragraph")) out.push_back(utf8(paragraphText(el)));
  }
  return out;
}

std::string joined(const std::vector<std::string>& paras) {
  std::string s;
  for (size_t i = 0; i < paras.size(); ++i) s += (i ? "\n" : "") + paras[i];
  return s;
}

OUString stringProperty(const Reference<XPropertySet>& ps, const char* name) {
  OUString s;
  if (ps.is()) ps->getPropertyValue(ou(name)) >>= s;
  return s;
}

bool boolProperty(const Reference<XPropertySet>& ps, const char* name, bool otherwise) {
  bool b = otherwise;
  try {
    ps->getPropertyValue(ou(name)) >>= b;
  } catch (const css::beans::UnknownPropertyException&) {
  }
  return b;
}

// The header or footer texts of a page style by kind. A header shared between left and right
// pages (or with the first page) is the default one only.
void headerTexts(const Reference<XPropertySet>& style, const char* what,
                 std::array<std::optional<std::string>, 3>& out) {
  std::string w = what;
  if (!boolProperty(style, (w + "IsOn").c_str(), false)) return;
  auto textOf = [&](const std::string& prop) -> std::optional<std::string> {
    Reference<XText> t;
    try {
      style->getPropertyValue(ou(prop.c_str())) >>= t;
    } catch (const css::beans::UnknownPropertyException&) {
    }
    if (!t.is()) return std::nullopt;
    return joined(paragraphTexts(t));
  };
  out[static_cast<int>(HeaderKind::Default)] = textOf(w + "Text");
  if (!boolProperty(style, (w + "IsShared").c_str(), true))
    out[static_cast<int>(HeaderKind::Even)] = textOf(w + "TextLeft");
  if (!boolProperty(style, "FirstIsShared", true)) out[static_cast<int>(HeaderKind::First)] = textOf(w + "TextFirst");
}

}  // namespace

DocumentInventory takeInventory(const Reference<css::lang::XComponent>& model, bool withMainText) {
  DocumentInventory inv;
  Reference<css::text::XTextDocument> doc(model, UNO_QUERY_THROW);
  Reference<XText> body = doc->getText();

  // Sections: the page style of the first paragraph, then each one a paragraph or table turns
  // to (Word's section breaks that start a page; a section that does not start a page and has
  // headers of its own is imported as one that does).
  std::vector<OUString> styles;
  std::vector<std::string> mainParas;
  Reference<XEnumerationAccess> ea(body, UNO_QUERY_THROW);
  auto en = ea->createEnumeration();
  while (en->hasMoreElements()) {
    Reference<css::uno::XInterface> el(en->nextElement(), UNO_QUERY);
    bool para = isA(el, "com.sun.star.text.Paragraph");
    if (!para) ++inv.tables;
    Reference<XPropertySet> ps(el, UNO_QUERY);
    OUString desc = stringProperty(ps, "PageDescName");
    if (!desc.isEmpty())
      styles.push_back(desc);
    else if (styles.empty() && para)
      styles.push_back(stringProperty(ps, "PageStyleName"));
    if (withMainText && para) mainParas.push_back(utf8(paragraphText(el)));
  }
  if (withMainText) inv.mainText = std::move(mainParas);

  Reference<css::style::XStyleFamiliesSupplier> fs(model, UNO_QUERY_THROW);
  Reference<css::container::XNameAccess> pages(fs->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
  std::map<OUString, SectionInventory> byStyle;
  for (const OUString& name : styles) {
    auto it = byStyle.find(name);
    if (it == byStyle.end()) {
      SectionInventory s;
      if (pages->hasByName(name)) {
        Reference<XPropertySet> style(pages->getByName(name), UNO_QUERY_THROW);
        headerTexts(style, "Header", s.headers);
        headerTexts(style, "Footer", s.footers);
      }
      it = byStyle.emplace(name, std::move(s)).first;
    }
    inv.sections.push_back(it->second);
  }
  Sequence<OUString> names = pages->getElementNames();
  std::vector<OUString> sorted(names.begin(), names.end());
  std::sort(sorted.begin(), sorted.end());
  for (const OUString& name : sorted) {
    if (byStyle.count(name)) continue;
    SectionInventory s;
    s.placed = false;
    Reference<XPropertySet> style(pages->getByName(name), UNO_QUERY_THROW);
    headerTexts(style, "Header", s.headers);
    headerTexts(style, "Footer", s.footers);
    bool text = false;
    for (int k = 0; k < 3; ++k) text = text || (s.headers[k] && !s.headers[k]->empty()) || (s.footers[k] && !s.footers[k]->empty());
    if (text) inv.sections.push_back(std::move(s));
  }

  Reference<css::text::XTextFieldsSupplier> fields(model, UNO_QUERY_THROW);
  auto fen = fields->getTextFields()->createEnumeration();
  while (fen->hasMoreElements())
    if (isA(Reference<css::uno::XInterface>(fen->nextElement(), UNO_QUERY), "com.sun.star.text.textfield.Annotation"))
      ++inv.comments;

  Reference<css::drawing::XDrawPageSupplier> dp(model, UNO_QUERY_THROW);
  Reference<css::container::XIndexAccess> page(dp->getDrawPage(), UNO_QUERY_THROW);
  inv.shapes = page->getCount();
  for (sal_Int32 i = 0; i < inv.shapes; ++i) {
    Reference<css::uno::XInterface> shape(page->getByIndex(i), UNO_QUERY);
    if (isA(shape, "com.sun.star.text.TextGraphicObject")) {
      ++inv.pictures;
    } else if (isA(shape, "com.sun.star.text.TextFrame")) {
      Reference<XText> t(shape, UNO_QUERY);
      if (t.is()) inv.frameTexts.push_back(joined(paragraphTexts(t)));
    }
  }
  std::sort(inv.frameTexts.begin(), inv.frameTexts.end());
  return inv;
}

}  // namespace vm::word::office
