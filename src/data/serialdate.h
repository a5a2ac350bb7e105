#pragma once
// Dates held as a day number from 30 December 1899 with the time as its fraction, as Access and
// spreadsheets keep them, written as a Chinese office user reads them in a document.

#include <QString>

namespace vm::data {

// "2026-12-07" at midnight, "2026-12-07 09:30:00" with a time, "09:30:00" for a time alone (day
// 0). Days before the base count back from it, the fraction still being the time of that day.
QString serialDateText(double serial);

}  // namespace vm::data
