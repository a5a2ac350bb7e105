#pragma once
// The preview an operation shows before its question (app/operation.h, confirmPreview): the
// preview routine runs over the ticked documents that exist, with a progress dialog that can
// cancel, and the lines ("path → what would happen", or why it would fail) are listed in a
// dialog with OK and Cancel. OK: true.

#include <QString>

#include "app/runframe.h"

class QWidget;

namespace vm {

class DocumentList;

bool confirmPreview(QWidget* parent, const DocumentList& documents, const QString& title,
                    const DocumentRoutine& preview);

}  // namespace vm
