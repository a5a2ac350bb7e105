// Pictures in place of found text: read once, at the size Word gives them, inserted inline
// with the formatting of the match's first character.

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/graphic/XGraphicProvider.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XRedline.hpp>
#include <com/sun/star/text/XTextContent.hpp>

#include "word/docx/image.h"
#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

Reference<css::graphic::XGraphic> loadGraphicOf(DocState& st, const fs::path& picture) {
  auto gp = css::graphic::GraphicProvider::create(st.office->ctx);
  Reference<css::graphic::XGraphic> g;
  try {
    g = gp->queryGraphic(props({prop("URL", Any(fileUrl(picture)))}));
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::RuntimeException&) {
    throw;
  } catch (const css::uno::Exception&) {
  }
  if (!g.is()) throw EngineError(ErrorCode::PictureUnreadable, picture.string());
  return g;
}

// The picture's own size in 1/100 mm: from its pixels and resolution as Word takes them (the
// header reader of the docx back end), else as the office reports it.
css::awt::Size graphicSize(const Reference<css::graphic::XGraphic>& g);
css::awt::Size pictureSize(const std::string& bytes, const Reference<css::graphic::XGraphic>& g) {
  if (auto info = vm::word::docx::readImageInfo(bytes)) {
    // 914400 EMU per inch, 2540 hundredths of a millimetre per inch: 360 EMU each
    return css::awt::Size(static_cast<sal_Int32>((info->widthEmu() + 180) / 360),
                          static_cast<sal_Int32>((info->heightEmu() + 180) / 360));
  }
  return graphicSize(g);
}

css::awt::Size graphicSize(const Reference<css::graphic::XGraphic>& g) {
  css::awt::Size mm{0, 0}, px{0, 0};
  Reference<css::beans::XPropertySet> gp(g, UNO_QUERY);
  if (gp.is()) {
    try {
      gp->getPropertyValue(ou("Size100thMM")) >>= mm;
      gp->getPropertyValue(ou("SizePixel")) >>= px;
    } catch (const css::beans::UnknownPropertyException&) {
    }
  }
  if (mm.Width <= 0 || mm.Height <= 0) {
    // No resolution in the file: 96 pixels per inch, as Word takes it.
    mm.Width = static_cast<sal_Int32>(px.Width * 2540.0 / 96.0 + 0.5);
    mm.Height = static_cast<sal_Int32>(px.Height * 2540.0 / 96.0 + 0.5);
  }
  return mm;
}

}  // namespace

LoadedPicture loadPicture(DocState& st, const fs::path& picture) {
  // Capped and opened without blocking, as the docx back end reads it.
  const std::string bytes = vm::word::docx::readPictureFile(picture);
  LoadedPicture p{loadGraphicOf(st, picture), {}};
  p.size = pictureSize(bytes, p.graphic);
  return p;
}

Reference<css::beans::XPropertySet> newGraphicObject(DocState& st, const LoadedPicture& picture) {
  Reference<css::lang::XMultiServiceFactory> f(st.model, UNO_QUERY_THROW);
  Reference<css::beans::XPropertySet> obj(f->createInstance(ou("com.sun.star.text.TextGraphicObject")), UNO_QUERY_THROW);
  obj->setPropertyValue(ou("Graphic"), Any(picture.graphic));
  if (picture.size.Width > 0 && picture.size.Height > 0) {
    obj->setPropertyValue(ou("Width"), Any(picture.size.Width));
    obj->setPropertyValue(ou("Height"), Any(picture.size.Height));
  }
  return obj;
}

int OfficeStory::replaceWithPicture(const std::string& findText, const fs::path& picture, const FindOptions& options) {
  FindPattern pat = parseFind(findText, options);
  fs::path pic = fs::absolute(picture);
  StoryKind kind = kind_;
  return doc_.apply("picture", [pat, pic, options, this](DocState& st) {
    Reference<XText> t = resolve(st);
    auto matches = findInStory(st, t, pat, options);
    if (matches.empty()) return 0;  // the picture is not even read, as Word passes the rule over
    signTrackedChanges(st, doc_.author());
    bool tracked = recordsChanges(st);
    // The picture is read before anything changes: an unreadable one leaves the document as it was.
    // A regular file within the picture cap, opened without blocking, as the docx back end reads it.
    const LoadedPicture loaded = loadPicture(st, pic);
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
      auto obj = newGraphicObject(st, loaded);
      obj->setPropertyValue(ou("AnchorType"), Any(text::TextContentAnchorType_AS_CHARACTER));
      Reference<text::XTextContent> content(obj, UNO_QUERY_THROW);
      // As with text: in after the first character (its formatting), then the match goes.
      Reference<XTextRange> r = *it;
      Reference<XText> rt = r->getText();
      Reference<XTextCursor> startMark = rt->createTextCursorByRange(r->getStart());
      Reference<XTextCursor> endMark = rt->createTextCursorByRange(r->getEnd());
      Reference<XTextCursor> at = rt->createTextCursorByRange(r->getStart());
      at->goRight(1, false);
      rt->insertTextContent(asRange(at), content, false);
      // Writer does not record an inserted object: its anchor character is marked inserted.
      if (tracked) {
        Reference<XTextCursor> anchor = rt->createTextCursorByRange(content->getAnchor()->getStart());
        anchor->goRight(1, true);
        Reference<text::XRedline>(anchor, UNO_QUERY_THROW)
            ->makeRedline(ou("Insert"), props({prop("RedlineAuthor", Any(ou(doc_.author()))),
                                               prop("RedlineDateTime", Any(localNow()))}));
      }
      Reference<XTextCursor> rest = rt->createTextCursorByRange(startMark->getStart());
      rest->goRight(2, false);
      rest->gotoRange(endMark->getStart(), true);
      rest->setString(OUString());
      startMark->goRight(1, true);
      startMark->setString(OUString());
    }
    return static_cast<int>(matches.size());
  }, Effect{.text = {kind}, .addsPictures = true});
}

}  // namespace vm::word::office
