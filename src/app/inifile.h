#pragma once
// config.ini access (the readini module): a small exact INI reader and writer,
// UTF-8, no escaping of non-ASCII text. Values are read back whole (no byte cut).
//
// Format: "[section]" lines and "key=value" lines; sections and keys are matched without
// regard to ASCII case, as the Windows profile functions do; blanks around keys and values
// are ignored; ";" and "#" lines are comments. A value that needs it (line breaks, blanks at
// either end, a leading and trailing double quote) is written in double quotes with \\ \" \n \r
// escapes and read back exactly. Writing keeps every other line of the file as it was and
// replaces the file atomically.

#include <QString>

namespace vm {

class IniFile {
 public:
  IniFile() = default;
  explicit IniFile(const QString& path) { setIniFile(path); }

  // Stores the path with leading and trailing blanks removed.
  void setIniFile(const QString& path);
  QString getIniFile() const { return path_; }

  // The value of key in section; empty when no path is set, the key is missing or the file
  // cannot be read.
  QString readIni(const QString& section, const QString& key) const;
  // Writes the value (creating the file, the section or the key as needed). False when no
  // path is set or the write fails.
  bool writeIni(const QString& section, const QString& key, const QString& value) const;

  // Whether the file in use exists (the check callers make before using it).
  bool exists() const;

 private:
  QString path_;
};

}  // namespace vm
