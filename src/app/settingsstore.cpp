#include "app/settingsstore.h"

#include <QJsonArray>

#include "rules/replacerules.h"

namespace vm {

namespace {

class Reader : public SettingsFields {
 public:
  explicit Reader(const QJsonObject& o) : o_(o) {}
  void operator()(const char* name, QString& v) override {
    if (o_.value(QLatin1String(name)).isString()) v = o_.value(QLatin1String(name)).toString();
  }
  void operator()(const char* name, bool& v) override {
    if (o_.value(QLatin1String(name)).isBool()) v = o_.value(QLatin1String(name)).toBool();
  }
  void operator()(const char* name, int& v) override {
    if (o_.value(QLatin1String(name)).isDouble()) v = o_.value(QLatin1String(name)).toInt(v);
  }
  // [[find, replacement, ticked], ...]; a malformed row is left out
  void operator()(const char* name, rules::ReplaceRules& v) override {
    if (!o_.value(QLatin1String(name)).isArray()) return;
    QList<rules::Rule> list;
    for (const QJsonValue& row : o_.value(QLatin1String(name)).toArray()) {
      const QJsonArray a = row.toArray();
      if (a.size() != 3 || !a[0].isString() || !a[1].isString() || !a[2].isBool() || a[0].toString().isEmpty()) continue;
      list << rules::Rule{a[0].toString(), a[1].toString(), a[2].toBool()};
    }
    v.setRules(list);
  }

 private:
  const QJsonObject& o_;
};

class Writer : public SettingsFields {
 public:
  QJsonObject o;
  void operator()(const char* name, QString& v) override { o.insert(QLatin1String(name), v); }
  void operator()(const char* name, bool& v) override { o.insert(QLatin1String(name), v); }
  void operator()(const char* name, int& v) override { o.insert(QLatin1String(name), v); }
  void operator()(const char* name, rules::ReplaceRules& v) override {
    QJsonArray rows;
    for (const rules::Rule& r : v.rules()) rows.append(QJsonArray{r.find, r.replacement, r.ticked});
    o.insert(QLatin1String(name), rows);
  }
};

}  // namespace

void SettingsStore::keepAlso(const QString& key, std::function<void(SettingsFields&)> visit) {
  kept_.push_back({key, std::move(visit)});
  if (keeping_) read(kept_.back());
}

void SettingsStore::keepFrom(const QJsonObject& saved) {
  saved_ = saved;
  keeping_ = true;
  for (const Kept& k : kept_) read(k);
}

void SettingsStore::read(const Kept& k) {
  if (!saved_.value(k.key).isObject()) return;
  const QJsonObject o = saved_.value(k.key).toObject();
  Reader r(o);
  k.visit(r);
}

QJsonObject SettingsStore::keptValues() const {
  // What was saved for items this run never made stays as it was.
  QJsonObject out = saved_;
  for (const Kept& k : kept_) {
    Writer w;
    k.visit(w);
    out.insert(k.key, w.o);
  }
  return out;
}

}  // namespace vm
