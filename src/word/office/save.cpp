// Saving: the format's filter, the store to a temporary file beside the target, and the
// rename over it.

#include <algorithm>
#include <random>

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>

#include "word/office/officedocument.h"
#include "word/office/roundtrip.h"
#include "word/docreservationwrite.h"
#include "word/safesave.h"

namespace vm::word::office {

namespace {

struct FormatInfo {
  const char* filter;
  const char* options;
};

FormatInfo formatFilter(SaveFormat f) {
  switch (f) {
    case SaveFormat::Docx: return {"MS Word 2007 XML", ""};
    case SaveFormat::Doc: return {"MS Word 97", ""};
    case SaveFormat::Rtf: return {"Rich Text Format", ""};
    case SaveFormat::Text: return {"Text (encoded)", "UTF8,CRLF,,,"};
    case SaveFormat::UnicodeText: return {"Text (encoded)", "UNICODE,CRLF,,,"};
    case SaveFormat::Html: return {"HTML (StarWriter)", ""};
    case SaveFormat::Pdf: return {"writer_pdf_Export", ""};
    case SaveFormat::Same: break;
  }
  return {"", ""};
}

}  // namespace

void OfficeDocument::save() {
  checkOpen();
  if (readOnly_) throw EngineError(ErrorCode::ReadOnly, path_.string());
  if (path_.empty())
    throw EngineError(ErrorCode::InvalidArgument, "save() on an untitled document");
  if (!modified_) return;  // left byte for byte as it was
  storeTo(path_, filter_, "");
  modified_ = false;
  original_.reset();
  effect_ = {};
  resetJournal(path_);
}

void OfficeDocument::saveAs(const fs::path& target, SaveFormat format) {
  checkOpen();
  std::string filter = filter_;
  std::string options;
  if (format != SaveFormat::Same) {
    auto fi = formatFilter(format);
    filter = fi.filter;
    options = fi.options;
  } else if (filter.empty()) {
    filter = filterForExtension(target);
  }
  fs::path abs = fs::absolute(target);
  std::error_code eq;
  if (readOnly_ && !path_.empty() && fs::equivalent(abs, path_, eq))
    throw EngineError(ErrorCode::ReadOnly, path_.string());
  storeTo(abs, filter, options);
  path_ = abs;
  filter_ = filter;
  filterOptions_ = options;
  modified_ = false;
  original_.reset();
  effect_ = {};
  if (format == SaveFormat::Same || format == SaveFormat::Doc || format == SaveFormat::Docx || format == SaveFormat::Rtf)
    resetJournal(abs);
}

std::string OfficeDocument::ownFilter() {
  return static_cast<std::string>(runString("filter", [this](DocState& st) {
    Reference<css::frame::XModel> m(st.model, UNO_QUERY_THROW);
    std::string name;
    for (const auto& a : m->getArgs())
      if (a.Name == "FilterName") {
        OUString s;
        a.Value >>= s;
        name = utf8(s);
      }
    if (name.empty()) return filterForExtension(path_);
    // Import-only filters (Word 6/95, WordPerfect, ...) cannot write: save as their
    // writable counterpart (Word 97 for the old Word formats), as Word saves an old file
    // in its current format.
    Reference<css::container::XNameAccess> filters(
        st.office->ctx->getServiceManager()->createInstanceWithContext(ou("com.sun.star.document.FilterFactory"),
                                                                       st.office->ctx),
        UNO_QUERY);
    if (filters.is() && filters->hasByName(ou(name))) {
      Sequence<css::beans::PropertyValue> fp;
      filters->getByName(ou(name)) >>= fp;
      sal_Int32 flags = 0;
      for (const auto& p : fp)
        if (p.Name == "Flags") p.Value >>= flags;
      if (!(flags & 0x2)) return filterForExtension(path_);
    }
    return name;
  }));
}

std::string OfficeDocument::filterForExtension(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == ".doc" || ext == ".dot" || ext == ".wps") return "MS Word 97";
  if (ext == ".docx" || ext == ".docm" || ext == ".dotx") return "MS Word 2007 XML";
  if (ext == ".rtf") return "Rich Text Format";
  if (ext == ".txt") return "Text (encoded)";
  if (ext == ".html" || ext == ".htm") return "HTML (StarWriter)";
  if (ext == ".pdf") return "writer_pdf_Export";
  return "writer8";
}

// Written into a fresh folder beside the target (with any side files, e.g. the pictures
// of an HTML page), then put in place by the engine's one safe save (word/safesave.h): a
// failure leaves the target as it was.
namespace {

// Room the office needs beside the target: the document's size and some.
std::uintmax_t roomNeeded(const fs::path& target, const fs::path& source) {
  std::error_code ec;
  std::uintmax_t size = fs::file_size(target, ec);
  if (ec) size = fs::file_size(source, ec);
  if (ec) size = 0;
  return size + (512u << 10);
}

bool lacksRoom(const fs::path& folder, std::uintmax_t need) {
  std::error_code ec;
  const fs::space_info room = fs::space(folder, ec);
  return !ec && room.available < need;
}

}  // namespace

void OfficeDocument::storeTo(const fs::path& target, const std::string& filter, const std::string& options) {
  std::error_code ec;
  if (fs::is_directory(target, ec)) throw EngineError(ErrorCode::WriteFailed, target.string() + " is a folder");
  // The office meets a full disk badly (it stalls until the watchdog ends it, then again on
  // the retry): a folder without room for the document is refused before the office writes.
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  const std::uintmax_t need = roomNeeded(target, path_);
  if (lacksRoom(folder, need)) throw EngineError(ErrorCode::DiskFull, target.string() + ": no room for the new file");
  fs::path dir = scratchFolderBeside(target);  // short; a killed run's folder is removed by a later one
  if (!fs::create_directory(dir, ec))
    throw EngineError(ErrorCode::WriteFailed, "cannot create " + dir.string() + ": " + ec.message());
  struct Cleanup {
    fs::path d;
    ~Cleanup() {
      std::error_code e;
      fs::remove_all(d, e);
    }
  } cleanup{dir};
  fs::path tmp = dir / target.filename();
  try {
    run("store", [&](DocState& st) {
      for (auto& e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
      Reference<css::frame::XStorable> s(st.model, UNO_QUERY_THROW);
      std::vector<css::beans::PropertyValue> args = {prop("FilterName", Any(ou(filter))), prop("Overwrite", Any(true))};
      if (!options.empty()) args.push_back(prop("FilterOptions", Any(ou(options))));
      for (const auto& extra : storeExtras_) args.push_back(extra);
      Sequence<css::beans::PropertyValue> seq(static_cast<sal_Int32>(args.size()));
      for (size_t i = 0; i < args.size(); ++i) seq.getArray()[i] = args[i];
      try {
        s->storeToURL(fileUrl(tmp), seq);
      } catch (const css::io::IOException&) {
        throw EngineError(ErrorCode::WriteFailed, target.string() + ": " + caughtUnoException());
      } catch (const css::lang::IllegalArgumentException&) {
        throw EngineError(ErrorCode::WriteFailed, target.string() + ": " + caughtUnoException());
      }
      return 0;
    });
  } catch (const OfficeRefused& e) {
    if (lacksRoom(folder, need)) throw EngineError(ErrorCode::DiskFull, e.detail());
    throw EngineError(ErrorCode::WriteFailed, e.detail());  // refused, not died
  } catch (const EngineError& e) {
    // A write cut short by the disk filling up meanwhile, whatever the office made of it.
    if (e.code() != ErrorCode::DiskFull && lacksRoom(folder, need))
      throw EngineError(ErrorCode::DiskFull, target.string() + ": " + e.what());
    throw;
  }
  if (!fs::is_regular_file(tmp, ec))
    throw EngineError(ErrorCode::WriteFailed, target.string() + ": the office wrote nothing");
  // The office drops a write password on its way into a Word 97-2003 file: put in here.
  if (docWritePassword_ && filter == "MS Word 97") setDocWriteReservation(tmp, *docWritePassword_);
  // A file that replaces the original must keep what the changes left alone.
  if (original_ && filter == filter_ && fs::equivalent(target, path_, ec))
    run("verify", [&](DocState& st) {
      checkRoundTrip(*st.office, tmp, *original_, effect_);
      return 0;
    });
  // side files first, the document last
  for (auto& e : fs::directory_iterator(dir, ec)) {
    if (e.path() == tmp) continue;
    fs::path to = target.parent_path() / e.path().filename();
    fs::remove_all(to, ec);
    fs::rename(e.path(), to, ec);
  }
  replaceFile(target, tmp);
}

}  // namespace vm::word::office
