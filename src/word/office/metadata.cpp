// Summary properties, the write password and Chinese script text through the office. The
// company is a user-defined property named "Company": the office writes it as Word's company.
// The write password is the document setting ModifyPasswordInfo (the SHA-512 form Word reads);
// the office computes no hash itself. A Word 97-2003 file's own write password is not reported
// by the office: it is read from the file, and written into it after the office saved it.

#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/XPropertyContainer.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XEndnotesSupplier.hpp>
#include <com/sun/star/text/XFootnotesSupplier.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/text/XTextTable.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "word/docx/unicase.h"
#include "word/office/officedocument.h"
#include "word/docreservation.h"
#include "word/docreservationwrite.h"
#include "word/passwordhash.h"

namespace vm::word::office {

namespace {

namespace beans = css::beans;

Reference<css::document::XDocumentProperties> documentProperties(DocState& st) {
  Reference<css::document::XDocumentPropertiesSupplier> s(st.model, UNO_QUERY_THROW);
  return s->getDocumentProperties();
}

Reference<beans::XPropertySet> documentSettings(DocState& st) {
  Reference<css::lang::XMultiServiceFactory> f(st.model, UNO_QUERY_THROW);
  return {f->createInstance(ou("com.sun.star.text.DocumentSettings")), UNO_QUERY_THROW};
}

Sequence<beans::PropertyValue> modifyPasswordInfo(DocState& st) {
  Sequence<beans::PropertyValue> info;
  documentSettings(st)->getPropertyValue(ou("ModifyPasswordInfo")) >>= info;
  return info;
}

std::string bytesOf(const Any& value) {
  OUString s;
  value >>= s;  // the office keeps salt and hash as base64 text
  return base64Decode(utf8(s)).value_or("");
}

// Every paragraph range of a text, table cells included.
void paragraphsOf(const Reference<XText>& text, std::vector<Reference<XTextRange>>& out) {
  Reference<css::container::XEnumerationAccess> access(text, UNO_QUERY);
  if (!access.is()) return;
  Reference<css::container::XEnumeration> e = access->createEnumeration();
  while (e->hasMoreElements()) {
    Any item = e->nextElement();
    Reference<text::XTextTable> table(item, UNO_QUERY);
    if (table.is()) {
      for (const OUString& name : table->getCellNames())
        paragraphsOf(Reference<XText>(table->getCellByName(name), UNO_QUERY), out);
      continue;
    }
    Reference<XTextRange> para(item, UNO_QUERY);
    if (para.is()) out.push_back(para);
  }
}

// The texts of every story: body, headers, footers, footnotes, endnotes and text frames.
std::vector<Reference<XText>> allTexts(DocState& st) {
  std::vector<Reference<XText>> out;
  for (StoryKind kind : {StoryKind::Main, StoryKind::Header, StoryKind::Footer})
    for (auto& t : storyTexts(st, kind)) out.push_back(t);
  auto addIndexed = [&](const Reference<css::container::XIndexAccess>& notes) {
    for (sal_Int32 i = 0; notes.is() && i < notes->getCount(); ++i) {
      Reference<XText> t(notes->getByIndex(i), UNO_QUERY);
      if (t.is()) out.push_back(t);
    }
  };
  if (Reference<text::XFootnotesSupplier> fs(st.model, UNO_QUERY); fs.is()) addIndexed(fs->getFootnotes());
  if (Reference<text::XEndnotesSupplier> es(st.model, UNO_QUERY); es.is()) addIndexed(es->getEndnotes());
  if (Reference<text::XTextFramesSupplier> frames(st.model, UNO_QUERY); frames.is()) {
    Reference<css::container::XNameAccess> names = frames->getTextFrames();
    for (const OUString& n : names->getElementNames()) {
      Reference<text::XTextFrame> f(names->getByName(n), UNO_QUERY);
      if (f.is()) out.push_back(f->getText());
    }
  }
  return out;
}

// Moves a collapsed cursor right by n characters (goRight takes 16-bit counts).
void moveRight(const Reference<XTextCursor>& c, sal_Int32 n, bool select) {
  while (n > 0) {
    const sal_Int16 step = static_cast<sal_Int16>(std::min<sal_Int32>(n, 30000));
    c->goRight(step, select);
    n -= step;
  }
}

sal_Int32 utf16Length(const std::string& utf8) { return static_cast<sal_Int32>(ou(utf8).getLength()); }

// Converts one run of text that starts at offset of the paragraph; the pieces are replaced from
// the last to the first so that the offsets before them stay valid.
int convertRun(const Reference<XText>& text, const Reference<XTextRange>& paraStart, sal_Int32 offset,
               const std::string& run, const TextConverter& convert) {
  struct Edit {
    sal_Int32 at, length;
    std::string to;
  };
  std::vector<Edit> edits;
  sal_Int32 at = offset;
  for (const TextSegment& seg : convert(docx::toU32(run))) {
    const std::string from = docx::toUtf8(seg.from);
    const sal_Int32 len = utf16Length(from);
    if (seg.from != seg.to) {
      const OUString f = ou(from), t = ou(docx::toUtf8(seg.to));
      if (f.getLength() == t.getLength()) {
        for (sal_Int32 k = 0; k < f.getLength(); ++k)
          if (f[k] != t[k]) edits.push_back({at + k, 1, utf8(t.copy(k, 1))});
      } else {
        edits.push_back({at, len, utf8(t)});
      }
    }
    at += len;
  }
  for (auto e = edits.rbegin(); e != edits.rend(); ++e) {
    Reference<XTextCursor> c = text->createTextCursorByRange(paraStart);
    moveRight(c, e->at, false);
    moveRight(c, e->length, true);
    c->setString(ou(e->to));
  }
  return static_cast<int>(edits.size());
}

// A paragraph's text portions; a phrase is converted across portions only while every portion
// is plain text (a field or a mark would shift the cursor's count).
int convertParagraph(const Reference<XTextRange>& para, const TextConverter& convert) {
  Reference<css::container::XEnumerationAccess> access(para, UNO_QUERY);
  if (!access.is()) return 0;
  Reference<XText> text = para->getText();
  Reference<XTextRange> start = para->getStart();
  std::vector<std::pair<bool, OUString>> portions;  // (plain text, its string)
  Reference<css::container::XEnumeration> e = access->createEnumeration();
  while (e->hasMoreElements()) {
    Reference<beans::XPropertySet> ps(e->nextElement(), UNO_QUERY);
    Reference<XTextRange> r(ps, UNO_QUERY);
    if (!ps.is() || !r.is()) continue;
    OUString type;
    ps->getPropertyValue(ou("TextPortionType")) >>= type;
    portions.emplace_back(type == "Text", type == "Text" ? r->getString() : OUString());
  }
  int changed = 0;
  sal_Int32 offset = 0;
  std::vector<std::pair<sal_Int32, OUString>> runs;  // plain runs between other portions and breaks
  OUString current;
  sal_Int32 currentAt = 0;
  auto endRun = [&] {
    if (!current.isEmpty()) runs.emplace_back(currentAt, current);
    current.clear();
  };
  for (auto& [plain, s] : portions) {
    if (!plain) {
      endRun();
      offset += 1;  // a field, a frame anchor or a mark: one position for the cursor
      currentAt = offset;
      continue;
    }
    for (sal_Int32 i = 0; i < s.getLength(); ++i) {
      const sal_Unicode ch = s[i];
      if (ch < 0x20) {
        endRun();
        currentAt = offset + i + 1;
      } else {
        if (current.isEmpty()) currentAt = offset + i;
        current += OUString(ch);
      }
    }
    offset += s.getLength();
  }
  endRun();
  for (auto r = runs.rbegin(); r != runs.rend(); ++r) changed += convertRun(text, start, r->first, utf8(r->second), convert);
  return changed;
}

}  // namespace

SummaryProperties OfficeDocument::properties() {
  SummaryProperties p;
  run("properties", [&](DocState& st) {
    Reference<css::document::XDocumentProperties> dp = documentProperties(st);
    p.title = utf8(dp->getTitle());
    p.subject = utf8(dp->getSubject());
    p.author = utf8(dp->getAuthor());
    Reference<beans::XPropertySet> user(dp->getUserDefinedProperties(), UNO_QUERY);
    OUString company;
    if (user.is() && user->getPropertySetInfo()->hasPropertyByName(ou("Company")))
      user->getPropertyValue(ou("Company")) >>= company;
    p.company = utf8(company);
    return 0;
  });
  return p;
}

void OfficeDocument::setProperties(const SummaryProperties& p) {
  apply("properties", [p](DocState& st) {
    Reference<css::document::XDocumentProperties> dp = documentProperties(st);
    dp->setTitle(ou(p.title));
    dp->setSubject(ou(p.subject));
    dp->setAuthor(ou(p.author));
    Reference<beans::XPropertyContainer> user = dp->getUserDefinedProperties();
    Reference<beans::XPropertySet> ps(user, UNO_QUERY_THROW);
    if (ps->getPropertySetInfo()->hasPropertyByName(ou("Company")))
      ps->setPropertyValue(ou("Company"), Any(ou(p.company)));
    else
      user->addProperty(ou("Company"), beans::PropertyAttribute::REMOVABLE, Any(ou(p.company)));
    return 1;
  });
}

namespace {

// The write password a Word 97-2003 file keeps for itself, read before the office saves over it.
std::optional<std::string> fileWriteReservation(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char head[8] = {};
  if (!in.read(head, 8) || std::string_view(head, 8) != std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
    return std::nullopt;
  in.seekg(0);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return docWriteReservation(bytes.str());
}

}  // namespace

bool OfficeDocument::hasWritePassword() {
  if (fileWriteReservation(path_)) return true;
  bool has = false;
  run("write password", [&](DocState& st) {
    for (const auto& v : modifyPasswordInfo(st))
      if (v.Name == "hash" || v.Name == "HashValue") has = true;
    return 0;
  });
  return has;
}

bool OfficeDocument::writePasswordMatches(const std::string& password) {
  Sequence<beans::PropertyValue> info;
  run("write password", [&](DocState& st) {
    info = modifyPasswordInfo(st);
    return 0;
  });
  std::string algorithm, salt, hash;
  sal_Int32 spin = 0;
  for (const auto& v : info) {
    if (v.Name == "algorithm-name") {
      OUString a;
      v.Value >>= a;
      algorithm = utf8(a);
    } else if (v.Name == "salt") {
      salt = bytesOf(v.Value);
    } else if (v.Name == "iteration-count") {
      v.Value >>= spin;
    } else if (v.Name == "hash") {
      hash = bytesOf(v.Value);
    }
  }
  if (hash.empty()) {
    const auto reserved = fileWriteReservation(path_);
    return !reserved || *reserved == password;
  }
  const auto digest = digestForName(algorithm);
  if (!digest) throw EngineError(ErrorCode::Unsupported, path_.string() + ": a write password hashed with " + algorithm);
  return spinHash(*digest, salt, utf16le(password), static_cast<std::uint32_t>(spin)) == hash;
}

void OfficeDocument::saveAs(const fs::path& target, const SaveOptions& options) {
  // Word keeps at most 15 characters of a Word 97-2003 file's write password: refused before
  // anything is saved.
  const bool doc = options.format == SaveFormat::Doc ||
                   (options.format == SaveFormat::Same &&
                    (filter_.empty() ? filterForExtension(target) : filter_) == "MS Word 97");
  if (doc && options.writePassword && docx::toU32(*options.writePassword).size() > kDocWritePasswordMax)
    throw EngineError::withParticulars(ErrorCode::InvalidArgument, "Word 97-2003 文档的写入密码最多 15 个字符，未修改",
                                       target.string() + ": write password too long");
  if (options.writePassword) {
    Sequence<beans::PropertyValue> info;
    if (!options.writePassword->empty()) {
      const std::string salt = randomBytes(16);
      const std::string hash = spinHash("SHA512", salt, utf16le(*options.writePassword), 100000);
      info = props({prop("algorithm-name", Any(ou("SHA-512"))), prop("salt", Any(ou(base64Encode(salt)))),
                    prop("iteration-count", Any(sal_Int32(100000))), prop("hash", Any(ou(base64Encode(hash))))});
    }
    apply("write password", [info](DocState& st) {
      documentSettings(st)->setPropertyValue(ou("ModifyPasswordInfo"), Any(info));
      return 1;
    });
    storeExtras_ = props({prop("ModifyPasswordInfo", Any(info))});
  }
  docWritePassword_ = options.writePassword;
  struct Reset {
    Sequence<beans::PropertyValue>& extras;
    std::optional<std::string>& password;
    ~Reset() {
      extras = {};
      password.reset();
    }
  } reset{storeExtras_, docWritePassword_};
  saveAs(target, options.format);
}

int OfficeDocument::convertText(const TextConverter& convert) {
  Effect effect;
  effect.text = {StoryKind::Main, StoryKind::Header, StoryKind::Footer, StoryKind::Footnotes, StoryKind::Endnotes,
                 StoryKind::TextFrames};
  return apply("convert text", [convert](DocState& st) {
    int changed = 0;
    for (const Reference<XText>& t : allTexts(st)) {
      std::vector<Reference<XTextRange>> paras;
      paragraphsOf(t, paras);
      for (const auto& p : paras) changed += convertParagraph(p, convert);
    }
    return changed;
  }, effect);
}

}  // namespace vm::word::office
