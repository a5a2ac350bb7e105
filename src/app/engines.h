#pragma once
// The engine check of start-up step 9 and the table of which operation needs which engine.
//
// The docx engine is always there. The office engine is LibreOffice: when a back end is
// installed (vm::word::officeBackend()), it is asked; until then `soffice` is looked up on
// PATH (or /usr/lib/libreoffice/program/soffice) and `soffice --version` is read with a
// timeout. The check blocks for at most the timeout and touches no widget: call it off the
// GUI thread (or from the start-up timer) and hand the result to the window.
//
// Without a usable office the "doc" suffix box is unticked and hidden and every menu item
// whose row below says Need::Layout is hidden.

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
};

// Probes the office. Environment: VELLUMARK_NO_OFFICE=1 reports it unusable (for tests);
// VELLUMARK_SOFFICE=/path names the program to probe.
OfficeStatus probeOffice(int timeoutMs = 15000);
EngineStatus checkEngines(int timeoutMs = 15000);

// --- Which operation needs which engine -------------------------------------------------
// One row per menu item that starts or sets up an operation. Need::Content: the docx engine
// does it; Need::Layout: it needs the office engine (page layout, inserting files, format
// conversion, rendering), so the window hides the item without a usable office. Each
// operation's issue corrects its own rows in engines.cpp (the one table).
struct EngineNeedRow {
  const char* menuItem;     // objectName of the menu item, e.g. "m_convDoc"
  const char* operationId;  // its run identifier ("docFormat"), or "" for a settings item
  vm::word::Need need;
};

// Every row, in menu order.
const QList<EngineNeedRow>& engineNeeds();
// The row's need for a menu item; Need::Content for items not in the table.
vm::word::Need needForMenuItem(const QString& menuItem);
// The need of an operation identifier (Layout when any of its menu items needs Layout).
vm::word::Need needForOperation(const QString& operationId);
// The menu items to hide when the office is not usable.
QStringList officeOnlyMenuItems();

}  // namespace vm
