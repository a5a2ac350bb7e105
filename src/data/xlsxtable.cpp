// The first sheet of an .xlsx workbook as one table (sheettables.h).

#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "data/dataerror.h"
#include "data/serialdate.h"
#include "data/sheettables.h"
#include "data/sqlitedb.h"

namespace vm::data {

namespace {

constexpr zip_uint64_t kMaxPart = 256ULL * 1024 * 1024;
constexpr int kMaxColumns = 16384;  // the widest sheet a spreadsheet program makes

struct Zip {
  zip_t* z = nullptr;
  ~Zip() {
    if (z) zip_discard(z);
  }
};

QString damaged(const QString& path) { return QStringLiteral("不是有效的 .xlsx 工作簿，或文件已损坏：%1").arg(path); }

// A part's bytes; empty when the part is missing and optional.
std::string readPart(zip_t* z, const std::string& name, const QString& path, bool optional = false) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(z, name.c_str(), 0, &st) != 0) {
    if (optional) return {};
    throw DataError{damaged(path)};
  }
  if (!(st.valid & ZIP_STAT_SIZE) || st.size > kMaxPart)
    throw DataError{QStringLiteral("工作簿的内容过大（一个部分超过 256 MB）：%1").arg(path)};
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> f(zip_fopen(z, name.c_str(), 0), zip_fclose);
  if (!f) throw DataError{damaged(path)};
  std::string bytes(st.size, '\0');
  if (zip_fread(f.get(), bytes.data(), st.size) != zip_int64_t(st.size)) throw DataError{damaged(path)};
  return bytes;
}

pugi::xml_document parseXml(const std::string& bytes, const QString& path) {
  pugi::xml_document doc;
  if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default))
    throw DataError{damaged(path)};
  return doc;
}

// Element names without their prefix.
std::string local(const char* name) {
  const char* colon = std::strchr(name, ':');
  return colon ? colon + 1 : name;
}
pugi::xml_node child(pugi::xml_node n, const char* name) {
  for (pugi::xml_node c : n.children())
    if (local(c.name()) == name) return c;
  return {};
}

// The text of a string item: its <t>, or the <t> of each rich-text run (not phonetic runs).
QString itemText(pugi::xml_node si) {
  std::string s;
  for (pugi::xml_node c : si.children()) {
    const std::string n = local(c.name());
    if (n == "t") s += c.text().get();
    else if (n == "r") s += child(c, "t").text().get();
  }
  return QString::fromUtf8(s.c_str());
}

// Built-in number formats that show a date or time.
bool builtinDate(int id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

// A custom format shows a date when it has date or time letters outside quotes and brackets.
bool dateFormat(const std::string& code) {
  bool quoted = false;
  int bracket = 0;
  for (char c : code) {
    if (c == '"') quoted = !quoted;
    else if (!quoted && c == '[') ++bracket;
    else if (!quoted && c == ']') --bracket;
    else if (!quoted && bracket == 0 && std::strchr("ymdhsYMDHS", c)) return true;
  }
  return false;
}

int columnIndex(const char* ref) {  // "BC12" -> 54 (0-based); -1 when none
  int col = 0;
  const char* p = ref;
  for (; *p >= 'A' && *p <= 'Z'; ++p) col = col * 26 + (*p - 'A' + 1);
  return p == ref || col > kMaxColumns ? -1 : col - 1;
}

}  // namespace

void loadXlsx(SqliteDb& db, const QString& path) {
  Zip zip;
  int err = 0;
  zip.z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
  if (!zip.z) throw DataError{damaged(path)};

  // The first sheet: workbook order, its target through the workbook's relationships.
  const pugi::xml_document workbook = parseXml(readPart(zip.z, "xl/workbook.xml", path), path);
  const pugi::xml_node sheet = child(child(workbook.document_element(), "sheets"), "sheet");
  if (!sheet) throw DataError{QStringLiteral("工作簿中没有工作表：%1").arg(path)};
  const QString sheetName = QString::fromUtf8(sheet.attribute("name").value());
  std::string rid;
  for (pugi::xml_attribute a : sheet.attributes())
    if (local(a.name()) == "id") rid = a.value();
  bool date1904 = child(workbook.document_element(), "workbookPr").attribute("date1904").as_bool();
  std::string target = "worksheets/sheet1.xml";
  const std::string relsBytes = readPart(zip.z, "xl/_rels/workbook.xml.rels", path, true);
  if (!relsBytes.empty()) {
    const pugi::xml_document rels = parseXml(relsBytes, path);
    for (pugi::xml_node r : rels.document_element().children())
      if (rid == r.attribute("Id").value()) target = r.attribute("Target").value();
  }
  const std::string sheetPart = target.rfind("/", 0) == 0 ? target.substr(1) : "xl/" + target;

  std::vector<QString> shared;
  const std::string sharedBytes = readPart(zip.z, "xl/sharedStrings.xml", path, true);
  if (!sharedBytes.empty()) {
    const pugi::xml_document sst = parseXml(sharedBytes, path);
    for (pugi::xml_node si : sst.document_element().children())
      if (local(si.name()) == "si") shared.push_back(itemText(si));
  }

  // The styles whose number format shows a date.
  std::vector<bool> dateStyle;
  const std::string stylesBytes = readPart(zip.z, "xl/styles.xml", path, true);
  if (!stylesBytes.empty()) {
    const pugi::xml_document styles = parseXml(stylesBytes, path);
    std::set<int> customDates;
    for (pugi::xml_node f : child(styles.document_element(), "numFmts").children())
      if (dateFormat(f.attribute("formatCode").value())) customDates.insert(f.attribute("numFmtId").as_int());
    for (pugi::xml_node xf : child(styles.document_element(), "cellXfs").children()) {
      const int id = xf.attribute("numFmtId").as_int();
      dateStyle.push_back(builtinDate(id) || customDates.count(id));
    }
  }

  const pugi::xml_document data = parseXml(readPart(zip.z, sheetPart, path), path);
  std::vector<std::vector<TableWriter::Value>> rows;
  std::size_t width = 0;
  for (pugi::xml_node row : child(data.document_element(), "sheetData").children()) {
    if (local(row.name()) != "row") continue;
    std::vector<TableWriter::Value> values;
    int next = 0;
    for (pugi::xml_node c : row.children()) {
      if (local(c.name()) != "c") continue;
      int col = c.attribute("r") ? columnIndex(c.attribute("r").value()) : next;
      if (col < 0) throw DataError{damaged(path)};
      next = col + 1;
      const std::string type = c.attribute("t").value();
      const char* v = child(c, "v").text().get();
      QString text;
      if (type == "s") {
        const std::size_t i = std::strtoull(v, nullptr, 10);
        if (i >= shared.size()) throw DataError{damaged(path)};
        text = shared[i];
      } else if (type == "inlineStr") {
        text = itemText(child(c, "is"));
      } else if (type == "b") {
        text = std::string(v) == "1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
      } else if (type == "str" || type == "e") {
        text = QString::fromUtf8(v);
      } else {
        if (!*v) continue;  // an empty cell with a style only
        const std::size_t s = c.attribute("s").as_uint();
        if (s < dateStyle.size() && dateStyle[s])
          text = serialDateText(std::strtod(v, nullptr) + (date1904 ? 1462 : 0));
        else
          text = QString::fromUtf8(v);
      }
      if (values.size() <= std::size_t(col)) values.resize(col + 1);
      values[col] = text;
    }
    width = std::max(width, values.size());
    rows.push_back(std::move(values));
  }
  if (rows.empty()) throw DataError{QStringLiteral("工作表“%1”是空的，没有标题行：%2").arg(sheetName, path)};
  QStringList header;
  for (std::size_t i = 0; i < width; ++i) header << (i < rows[0].size() && rows[0][i] ? *rows[0][i] : QString());
  const QString table = QFileInfo(path).completeBaseName();
  TableWriter writer(db, table, header);
  for (std::size_t r = 1; r < rows.size(); ++r) writer.add(rows[r], true);
  writer.finish();
  addAliases(db, table, {QStringLiteral("Sheet1"), sheetName, sheetName + u'$'});
}

}  // namespace vm::data
