#pragma once
// The print server's destinations (CUPS) and sending a rendered document to one of them.

#include <QList>
#include <QString>

#include <optional>

namespace vm::print {

struct Printer {
  QString name;
  QString description;     // the queue's own description, may be empty
  bool isDefault = false;
  bool acceptsJobs = true;
};

// Every destination of the print server, the default first, then by name.
QList<Printer> printers();

// The printer a run prints on: the named one when it exists, else (name empty) the default
// destination, else the first that accepts jobs. Empty when there is none.
std::optional<Printer> choosePrinter(const QList<Printer>& all, const QString& name = {});

struct PrintJob {
  QString printer;
  QString pdfPath;
  QString title;  // the job's name in the queue: the document's file name
  int copies = 1;
  bool collate = true;
};

// Hands the file to the server; returns the job's number. The server keeps its own copy, so
// the file may go once this returns. Throws std::runtime_error with a Chinese message.
int submit(const PrintJob& job);

}  // namespace vm::print
