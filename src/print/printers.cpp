#include "print/printers.h"

#include <cups/cups.h>

#include <algorithm>
#include <stdexcept>

namespace vm::print {

namespace {

QString option(const cups_dest_t& d, const char* name) {
  const char* v = cupsGetOption(name, d.num_options, d.options);
  return v ? QString::fromUtf8(v) : QString();
}

}  // namespace

QList<Printer> printers() {
  cups_dest_t* dests = nullptr;
  const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  QList<Printer> out;
  for (int i = 0; i < n; ++i) {
    const cups_dest_t& d = dests[i];
    if (d.instance) continue;  // an instance is the same queue with other defaults
    Printer p;
    p.name = QString::fromUtf8(d.name);
    p.description = option(d, "printer-info");
    p.isDefault = d.is_default != 0;
    // "printer-state" 5 is stopped; a stopped queue holds jobs without printing them
    p.acceptsJobs = option(d, "printer-is-accepting-jobs") != QLatin1String("false") &&
                    option(d, "printer-state") != QLatin1String("5");
    out << p;
  }
  cupsFreeDests(n, dests);
  std::stable_sort(out.begin(), out.end(), [](const Printer& a, const Printer& b) {
    if (a.isDefault != b.isDefault) return a.isDefault;
    return a.name < b.name;
  });
  return out;
}

std::optional<Printer> choosePrinter(const QList<Printer>& all, const QString& name) {
  if (!name.isEmpty()) {
    for (const Printer& p : all)
      if (p.name == name) return p;
    return std::nullopt;
  }
  for (const Printer& p : all)
    if (p.isDefault && p.acceptsJobs) return p;
  for (const Printer& p : all)
    if (p.acceptsJobs) return p;
  return std::nullopt;
}

int submit(const PrintJob& job) {
  cups_option_t* options = nullptr;
  int n = 0;
  const QByteArray copies = QByteArray::number(std::max(1, job.copies));
  n = cupsAddOption("copies", copies.constData(), n, &options);
  n = cupsAddOption("multiple-document-handling",
                    job.collate ? "separate-documents-collated-copies" : "separate-documents-uncollated-copies", n,
                    &options);
  const QByteArray printer = job.printer.toUtf8(), file = job.pdfPath.toUtf8(), title = job.title.toUtf8();
  const int id = cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.constData(), file.constData(), title.constData(), n, options);
  cupsFreeOptions(n, options);
  if (id <= 0)
    throw std::runtime_error(QStringLiteral("打印机“%1”未接受打印作业：%2")
                                 .arg(job.printer, QString::fromUtf8(cupsLastErrorString()))
                                 .toStdString());
  return id;
}

}  // namespace vm::print
