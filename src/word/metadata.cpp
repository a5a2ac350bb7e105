#include "word/metadata.h"

#include "word/scripttext.h"

namespace vm::word {

MetadataDocument& metadata(Document& doc) {
  if (auto* m = dynamic_cast<MetadataDocument*>(&doc)) return *m;
  throw EngineError(ErrorCode::Unsupported, doc.path().string() + ": summary properties and write passwords");
}

ScriptTextDocument& scriptText(Document& doc) {
  if (auto* s = dynamic_cast<ScriptTextDocument*>(&doc)) return *s;
  throw EngineError(ErrorCode::Unsupported, doc.path().string() + ": converting the text of every story");
}

}  // namespace vm::word
