// An office document's life: loading, the change log (journal) and its replay in a restarted
// office, closing.

#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

// Debian's libreoffice-writer-nogui has no Writer UI definitions, and its office aborts as soon
// as a hidden view builds the window of a comment: the likely cause then, so the user is told.
EngineError officeFailed(const fs::path& programFolder, const std::string& detail) {
  std::error_code ec;
  if (!fs::exists(programFolder / "../share/config/soffice.cfg/modules/swriter/ui/annotation.ui", ec))
    return EngineError::withParticulars(
        ErrorCode::OfficeFailed,
        userText(ErrorCode::OfficeFailed) + "（所装的 LibreOffice 缺少 Writer 界面文件，打开带批注的文档时会退出，请安装 libreoffice-writer）",
        detail + " (no Writer UI definitions installed)");
  return EngineError(ErrorCode::OfficeFailed, detail);
}

Reference<css::lang::XComponent> loadModel(DocState& st, const OUString& url, bool readOnly, bool hidden,
                                           const std::string& what) {
  Reference<css::frame::XComponentLoader> loader(st.office->desktop, UNO_QUERY_THROW);
  auto args = props({
      prop("Hidden", Any(hidden)),
      prop("ReadOnly", Any(readOnly)),
      prop("MacroExecutionMode", Any(sal_Int16(0))),  // NEVER_EXECUTE
      prop("UpdateDocMode", Any(sal_Int16(0))),       // NO_UPDATE
      prop("Silent", Any(true)),
  });
  Reference<css::lang::XComponent> comp;
  try {
    comp = loader->loadComponentFromURL(url, ou("_blank"), 0, args);
  } catch (const css::lang::IllegalArgumentException&) {
    throw EngineError(ErrorCode::UnsupportedFormat, what + ": " + caughtUnoException());
  } catch (const css::io::IOException&) {
    throw EngineError(ErrorCode::DamagedPart, what + ": " + caughtUnoException());
  }
  if (!comp.is()) throw EngineError(ErrorCode::DamagedPart, what + ": the office returned no document");
  Reference<text::XTextDocument> td(comp, UNO_QUERY);
  if (!td.is()) {
    DocState tmp{st.office, comp};
    tmp.close();
    throw EngineError(ErrorCode::UnsupportedFormat, what + ": not a text document");
  }
  return comp;
}

Step loadStep(fs::path path, bool readOnly) {
  return [path, readOnly](DocState& st) {
    try {
      st.model = loadModel(st, fileUrl(path), readOnly, true, path.string());
    } catch (const EngineError& e) {
      // The office says only that it could not load: tell a password-protected file apart.
      if (e.code() == ErrorCode::DamagedPart && isEncryptedOleDocument(path))
        throw EngineError(ErrorCode::PasswordRequired, path.string());
      throw;
    }
    return 0;
  };
}

Step createStep() {
  return [](DocState& st) {
    st.model = loadModel(st, ou("private:factory/swriter"), false, true, "new document");
    return 0;
  };
}

// --- the document's life and its journal --------------------------------------------------

OfficeDocument::OfficeDocument(std::shared_ptr<OfficeBackend::Impl> pool, Office& office, fs::path path, Step creation,
                               std::string filter)
    : pool_(std::move(pool)), office_(&office), path_(std::move(path)), filter_(std::move(filter)),
      main_(*this, StoryKind::Main, 0) {
  journal_.push_back(std::move(creation));
}

OfficeDocument::~OfficeDocument() {
  try {
    close();
  } catch (...) {
  }
}

// Opens (runs the creation step) with the retry rule; throws on failure (and releases).
void OfficeDocument::start() {
  try {
    run("load", [](DocState&) { return 0; });
    if (filter_.empty()) filter_ = ownFilter();
  } catch (...) {
    closed_ = true;
    releaseOffice();
    throw;
  }
}

void OfficeDocument::close() {
  if (closed_) return;
  closed_ = true;
  if (state_.model.is()) {
    try {
      std::lock_guard lock(office_->callMutex);
      if (gen_ == office_->generation && office_->pid.load() > 0) {
        DeadlineGuard guard(*office_, std::chrono::milliseconds(10000));
        state_.close();
      }
    } catch (...) {
    }
    state_.model.clear();
  }
  releaseOffice();
  lock_.reset();
}

// A change: run it and record it for a replay. Returns the step's result.
int OfficeDocument::apply(const std::string& name, Step step, const Effect& effect, TakeOriginal when) {
  const bool guard = !original_ && !path_.empty() && !readOnly_;
  auto takeOriginal = [&](DocState& st) {
    if (!original_) original_ = takeInventory(st.model, !effect.changesText(StoryKind::Main));
  };
  if (guard && when == TakeOriginal::BeforeStep)
    run("inventory", [&](DocState& st) {
      takeOriginal(st);
      return 0;
    });
  effect_ += effect;
  int r = run(name, [&](DocState& st) {
    if (!guard || when != TakeOriginal::AtChange) return step(st);
    st.onChange = [&] { takeOriginal(st); };
    struct Clear {
      DocState& st;
      ~Clear() { st.onChange = nullptr; }
    } clear{st};
    return step(st);
  });
  journal_.push_back(std::move(step));
  if (r > 0) modified_ = true;
  return r;
}

void OfficeDocument::checkOpen() const {
  if (failed_) throw EngineError(ErrorCode::OfficeFailed, path_.string() + ": the office failed on this document before");
  if (closed_) throw EngineError(ErrorCode::InvalidArgument, path_.string() + ": the document is closed");
}

void OfficeDocument::rebuild() {
  state_ = DocState{office_, {}};
  try {
    for (auto& step : journal_) step(state_);
  } catch (...) {
    // a half-built document is closed again
    if (state_.model.is() && office_->pid.load() > 0) {
      try {
        state_.close();
      } catch (...) {
      }
    }
    state_.model.clear();
    throw;
  }
  gen_ = office_->generation;
}

void OfficeDocument::resetJournal(const fs::path& p) {
  journal_.clear();
  journal_.push_back(loadStep(p, false));
}

void OfficeDocument::releaseOffice() {
  if (office_ && !released_) {
    released_ = true;
    pool_->release(*office_);
  }
}

}  // namespace vm::word::office
