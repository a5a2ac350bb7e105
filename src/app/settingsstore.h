#pragma once
// The settings structs of the operations, one of each type, kept for the program's run. A
// settings dialog edits its struct, the command line fills the same struct from its options, and
// an operation copies what it needs when a run starts. GUI thread only.
//
// The desktop program also keeps them across starts (AppContext::keepSettings): a struct that
// names itself and its fields is saved at exit and read back at the next start,
//
//   struct PrintSettings {
//     QString copies; bool landscape = false;
//     static constexpr const char* kKeepAs = "print";
//     void keep(SettingsFields& f) { f("copies", copies); f("landscape", landscape); }
//   };
//
// A field the saved values lack (or hold in another type) keeps its default.

#include <QJsonObject>
#include <QString>

#include <concepts>
#include <functional>
#include <map>
#include <memory>
#include <typeindex>
#include <vector>

namespace vm {

namespace rules {
class ReplaceRules;
}

class SettingsFields {
 public:
  virtual ~SettingsFields() = default;
  virtual void operator()(const char* name, QString& value) = 0;
  virtual void operator()(const char* name, bool& value) = 0;
  virtual void operator()(const char* name, int& value) = 0;
  virtual void operator()(const char* name, rules::ReplaceRules& value) = 0;
};

template <class T>
concept KeptSettings = requires(T& t, SettingsFields& f) {
  { T::kKeepAs } -> std::convertible_to<const char*>;
  t.keep(f);
};

class SettingsStore {
 public:
  template <class T>
  T& get() {
    std::shared_ptr<void>& slot = items_[std::type_index(typeid(T))];
    if (!slot) {
      auto item = std::make_shared<T>();
      slot = item;
      if constexpr (KeptSettings<T>) keepAlso(T::kKeepAs, [p = item.get()](SettingsFields& f) { p->keep(f); });
    }
    return *static_cast<T*>(slot.get());
  }

  // Something kept that does not live in the store (a rule list, the window's place).
  void keepAlso(const QString& key, std::function<void(SettingsFields&)> visit);
  // From now on every kept item takes its values from saved (an object per key), those made
  // already and those made later.
  void keepFrom(const QJsonObject& saved);
  bool keeping() const { return keeping_; }
  // The values of every kept item, an object per key.
  QJsonObject keptValues() const;

 private:
  struct Kept {
    QString key;
    std::function<void(SettingsFields&)> visit;
  };
  void read(const Kept& k);
  std::map<std::type_index, std::shared_ptr<void>> items_;
  std::vector<Kept> kept_;
  QJsonObject saved_;
  bool keeping_ = false;
};

}  // namespace vm
