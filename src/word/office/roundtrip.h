#pragma once
// The round-trip guard of office saves: before a file the office wrote replaces the original,
// its inventory is compared with the original's, and the save is refused when something the
// operations did not mean to change would be lost (the original then stays byte for byte).

#include <filesystem>
#include <string>
#include <vector>

#include "word/office/inventory.h"

namespace vm::word::office {

struct Office;

// What the written file lost against the original, outside the effect: short Chinese phrases
// in document order ("丢失第 2 节的页眉", "丢失 1 张图片", "改变第 3 段正文"); empty when
// nothing was lost.
std::vector<std::string> lostContent(const DocumentInventory& original, const DocumentInventory& written,
                                     const Effect& effect);

// One short sentence: "保存后会丢失第 2 节的页眉、丢失第 2 节的页脚，文档未修改".
std::string lossMessage(const std::vector<std::string>& losses);

// Loads the written file read-only in the office, takes its inventory and closes it again;
// throws EngineError LossyRoundTrip, whose user message names what would be lost, when the file
// lost something. Call inside a guarded office call, before the file is renamed over the target.
void checkRoundTrip(Office& office, const std::filesystem::path& written, const DocumentInventory& original,
                    const Effect& effect);

}  // namespace vm::word::office
