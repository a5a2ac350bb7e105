// The office document's layout (pages, inventory, inserting) and the back end's open/create.

#include <unistd.h>

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string_view>

#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/XDocumentInsertable.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

// --- layout ------------------------------------------------------------------------------

Inventory OfficeDocument::inventory() {
  Inventory inv;
  run("inventory", [&](DocState& st) {
    inv.headers = static_cast<int>(storyTexts(st, StoryKind::Header).size());
    inv.footers = static_cast<int>(storyTexts(st, StoryKind::Footer).size());
    inv.comments = 0;
    Reference<text::XTextFieldsSupplier> fs(st.model, UNO_QUERY_THROW);
    auto en = fs->getTextFields()->createEnumeration();
    while (en->hasMoreElements()) {
      Reference<css::lang::XServiceInfo> si(en->nextElement(), UNO_QUERY);
      if (si.is() && si->supportsService(ou("com.sun.star.text.textfield.Annotation"))) ++inv.comments;
    }
    // Pictures and shapes anchored anywhere (the body's draw page holds them all).
    Reference<css::drawing::XDrawPageSupplier> dp(st.model, UNO_QUERY_THROW);
    inv.pictures = dp->getDrawPage()->getCount();
    return 0;
  });
  return inv;
}

int OfficeDocument::pageCount() {
  return run("pageCount", [](DocState& st) {
    auto vc = st.viewCursor();
    Reference<text::XPageCursor> pc(vc, UNO_QUERY_THROW);
    pc->jumpToLastPage();
    return static_cast<int>(pc->getPage());
  });
}

std::vector<PageSpan> OfficeDocument::pages() {
  std::vector<PageSpan> out;
  run("pages", [&](DocState& st) {
    out.clear();
    std::vector<ParaInfo> paras;
    std::int64_t pos = 0;
    collectParagraphs(st.body(), false, paras, pos);
    auto vc = st.viewCursor();
    Reference<text::XPageCursor> pc(vc, UNO_QUERY_THROW);
    pc->jumpToLastPage();
    int n = pc->getPage();
    for (int i = 1; i <= n; ++i) {
      pc->jumpToPage(static_cast<sal_Int16>(i));
      pc->jumpToStartOfPage();
      PageSpan s;
      s.number = i;
      s.start = i == 1 ? 0 : positionOf(paras, vc->getStart());
      out.push_back(s);
    }
    for (size_t i = 0; i < out.size(); ++i) out[i].end = i + 1 < out.size() ? out[i + 1].start : pos;
    return 0;
  });
  return out;
}

void insertFileAt(const Reference<XTextCursor>& cursor, const fs::path& path) {
  Reference<css::document::XDocumentInsertable> ins(cursor, UNO_QUERY_THROW);
  try {
    ins->insertDocumentFromURL(fileUrl(path), props({}));
  } catch (const css::lang::IllegalArgumentException&) {
    throw EngineError(ErrorCode::UnsupportedFormat, path.string() + ": " + caughtUnoException());
  } catch (const css::io::IOException&) {
    throw EngineError(ErrorCode::DamagedPart, path.string() + ": " + caughtUnoException());
  }
}

void OfficeDocument::insertDocument(const fs::path& other, bool atStart) {
  checkOpen();
  if (!fs::is_regular_file(other)) throw EngineError(ErrorCode::FileNotFound, other.string());
  fs::path abs = fs::absolute(other);
  apply("insertDocument", [abs, atStart](DocState& st) {
    auto body = st.body();
    auto c = body->createTextCursor();
    // Measured: the inserted text joins the paragraph at the cursor. It gets an empty paragraph
    // of its own instead, ahead of the first one or after a last one that holds text.
    if (atStart) {
      c->gotoStart(false);
      body->insertControlCharacter(asRange(c), text::ControlCharacter::PARAGRAPH_BREAK, false);
      c->gotoStart(false);
    } else {
      c->gotoEnd(false);
      Reference<text::XParagraphCursor> pc(c, UNO_QUERY_THROW);
      if (!pc->isStartOfParagraph()) {
        body->insertControlCharacter(asRange(c), text::ControlCharacter::PARAGRAPH_BREAK, false);
        c->gotoEnd(false);
      }
    }
    insertFileAt(c, abs);
    return 1;
  }, Effect{.text = {StoryKind::Main}, .addsPictures = true});
}

void OfficeDocument::insertPageBreak() {
  checkOpen();
  apply("insertPageBreak", [](DocState& st) {
    auto body = st.body();
    auto c = body->createTextCursor();
    c->gotoEnd(false);
    body->insertControlCharacter(asRange(c), text::ControlCharacter::PARAGRAPH_BREAK, false);
    c->gotoEnd(false);
    Reference<css::beans::XPropertySet> pp(c, UNO_QUERY_THROW);
    pp->setPropertyValue(ou("BreakType"), Any(css::style::BreakType_PAGE_BEFORE));
    return 1;
  }, Effect{.text = {StoryKind::Main}});
}

// --- the back end's open/create ----------------------------------------------------------

namespace {

// LibreOffice opens nearly anything (a text file named .docx comes in as text, a zip with bad
// checksums as what it can read of it) and would then save it in place: a .docx that is not a
// sound package is refused here first, as the docx back end refuses it.
void checkPackage(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext != ".docx" && ext != ".docm" && ext != ".dotx" && ext != ".dotm") return;
  std::ifstream in(path, std::ios::binary);
  char head[8] = {};
  in.read(head, 8);
  if (in.gcount() >= 8 && std::memcmp(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) {
    if (isEncryptedOleDocument(path))
      throw EngineError(ErrorCode::PasswordRequired, path.string());
    return;  // a Word 97 file under a .docx name: the office reads it by its content
  }
  if (in.gcount() < 4 || std::memcmp(head, "PK\x03\x04", 4) != 0)
    throw EngineError(ErrorCode::NotAZip, path.string() + ": not a zip package");
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
  if (!z) throw EngineError(ErrorCode::NotAZip, path.string() + ": damaged zip package");
  std::string bad;
  zip_int64_t n = zip_get_num_entries(z, 0);
  std::vector<char> buf(65536);
  for (zip_int64_t i = 0; i < n && bad.empty(); ++i) {
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    if (!f) {
      bad = zip_get_name(z, static_cast<zip_uint64_t>(i), 0) ? zip_get_name(z, static_cast<zip_uint64_t>(i), 0) : "?";
      break;
    }
    zip_int64_t r;
    while ((r = zip_fread(f, buf.data(), buf.size())) > 0) {
    }
    if (r < 0) bad = zip_get_name(z, static_cast<zip_uint64_t>(i), 0);
    zip_fclose(f);
  }
  zip_discard(z);
  if (!bad.empty()) throw EngineError(ErrorCode::DamagedPart, path.string() + ": damaged part " + bad);
}

// A Word 97 document (.doc, .dot) holds an OLE compound file; Word also saves RTF, HTML and XML
// under that name. Anything else (an empty file, random bytes) the office would take as plain
// text and report as done: refused here.
void checkWordFile(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext != ".doc" && ext != ".dot") return;
  std::ifstream in(path, std::ios::binary);
  char head[8] = {};
  in.read(head, 8);
  const std::string_view h(head, static_cast<std::size_t>(in.gcount()));
  if (h.empty()) throw EngineError(ErrorCode::DamagedPart, path.string() + ": empty file");
  if (h.size() == 8 && std::memcmp(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) return;
  if (h.starts_with("{\\rtf") || h.starts_with("PK\x03\x04")) return;
  std::size_t i = h.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (i < h.size() && std::isspace(static_cast<unsigned char>(h[i]))) ++i;
  if (i < h.size() && h[i] == '<') return;  // HTML or XML saved by Word
  throw EngineError(ErrorCode::DamagedPart, path.string() + ": not a Word document (no known signature)");
}

}  // namespace

FeatureSet OfficeBackend::features() const {
  return {Feature::MainText,  Feature::Layout,        Feature::InsertFile, Feature::Convert,
          Feature::Render,    Feature::WritePassword, Feature::Properties, Feature::HeaderFooter,
          Feature::Comments,  Feature::Cleanup};
}

std::unique_ptr<Document> OfficeBackend::open(const fs::path& path, const OpenOptions& options) {
  std::error_code ec;
  if (!fs::exists(path, ec)) throw EngineError(ErrorCode::FileNotFound, path.string());
  if (!fs::is_regular_file(path, ec) || ::access(path.c_str(), R_OK) != 0)
    throw EngineError(ErrorCode::Unreadable, path.string());
  checkPackage(path);
  checkWordFile(path);
  if (!available()) throw EngineError(ErrorCode::OfficeUnavailable, "no office at " + impl_->options.programFolder.string());
  fs::path abs = fs::absolute(path);
  // Before the read, as the docx back end does: what is saved is what was read.
  std::unique_ptr<DocumentLock> lock = options.readOnly ? nullptr : DocumentLock::acquire(abs);
  Office& office = impl_->acquire();
  auto doc = std::make_unique<OfficeDocument>(impl_, office, abs, loadStep(abs, options.readOnly), "");
  doc->setReadOnly(options.readOnly);
  doc->setLock(std::move(lock));
  doc->setAuthor(options.revisionAuthor);
  doc->start();
  return doc;
}

std::unique_ptr<Document> OfficeBackend::create() {
  if (!available()) throw EngineError(ErrorCode::OfficeUnavailable, "no office at " + impl_->options.programFolder.string());
  Office& office = impl_->acquire();
  auto doc = std::make_unique<OfficeDocument>(impl_, office, fs::path(), createStep(), "writer8");
  doc->start();
  return doc;
}

}  // namespace vm::word::office
