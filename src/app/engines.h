#pragma once
// The engine check of start-up step 9 and the table of which operation needs which engine.
//
// The docx engine is always there. The office engine is LibreOffice: when a back end is
// installed (vm::word::officeBackend()), it is asked; until then `soffice` is looked up on
// PATH (or /usr/lib/libreoffice/program/soffice) and `soffice --version` is read with a
// timeout. The check blocks for at most the timeout and touches no widget: call it off the
// GUI thread (or from the start-up timer) and hand the result to the window.
//
// Without a usable office the "doc" suffix box is unticked and hidden, and the operations that
// need a feature only the office offers are disabled (app/operation.h).

#include <QString>
#include <QStringList>

#include "word/document.h"

namespace vm {

struct OfficeStatus {
  bool usable = false;
  QString program;  // the soffice found, or the back end's name
  QString version;  // e.g. "LibreOffice 7.4.7.2"
  QString reason;   // why it is not usable (not found, timed out, no version), for the log
};

struct EngineStatus {
  bool docx = true;  // the native engine: always there
  OfficeStatus office;
  bool officeUsable() const { return office.usable; }
  // The suffix boxes: "doc" shown and ticked only with a usable office; "docx" always.
  bool docBoxVisible() const { return office.usable; }
  // "doc,docx," with a usable office, else "docx,".
  QString defaultSuffixList() const;
  // What the usable engines offer: the docx engine's features, and the office's when usable.
  vm::word::FeatureSet features() const;
};

// Probes the office. Environment: VELLUMARK_NO_OFFICE=1 reports it unusable (for tests);
// VELLUMARK_SOFFICE=/path names the program to probe.
OfficeStatus probeOffice(int timeoutMs = 15000);
EngineStatus checkEngines(int timeoutMs = 15000);

}  // namespace vm
