#pragma once
// The settings structs of the operations, one of each type, kept for the program's run. A
// settings dialog edits its struct, the command line fills the same struct from its options, and
// an operation copies what it needs when a run starts. GUI thread only.

#include <map>
#include <memory>
#include <typeindex>

namespace vm {

class SettingsStore {
 public:
  template <class T>
  T& get() {
    std::shared_ptr<void>& slot = items_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

 private:
  std::map<std::type_index, std::shared_ptr<void>> items_;
};

}  // namespace vm
