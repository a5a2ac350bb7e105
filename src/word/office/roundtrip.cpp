// The round-trip guard: the written file's inventory against the original's (see roundtrip.h).

#include "word/office/roundtrip.h"

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

const char* kindName(HeaderKind k, bool footer) {
  switch (k) {
    case HeaderKind::First: return footer ? "首页页脚" : "首页页眉";
    case HeaderKind::Even: return footer ? "偶数页页脚" : "偶数页页眉";
    case HeaderKind::Default: break;
  }
  return footer ? "页脚" : "页眉";
}

bool has(const std::optional<std::string>& text) { return text && !text->empty(); }

// "第 2 节的" where the document has more than one section.
std::string sectionName(size_t index, size_t sections) {
  return sections > 1 ? "第 " + std::to_string(index + 1) + " 节的" : "";
}

void compareHeaders(const std::array<std::optional<std::string>, 3>& was,
                    const std::array<std::optional<std::string>, 3>& is, bool footer, const std::string& where,
                    std::vector<std::string>& out) {
  for (int k = 0; k < 3; ++k) {
    if (!has(was[k])) continue;
    std::string name = where + kindName(static_cast<HeaderKind>(k), footer);
    if (!has(is[k]))
      out.push_back("丢失" + name);
    else if (*was[k] != *is[k])
      out.push_back("改变" + name);
  }
}

// "第 2 节的页眉和页脚" for a section that is gone.
std::string lostSection(const SectionInventory& s, size_t index, size_t sections) {
  bool header = false, footer = false;
  for (int k = 0; k < 3; ++k) {
    header = header || has(s.headers[k]);
    footer = footer || has(s.footers[k]);
  }
  std::string where = sectionName(index, sections);
  if (header && footer) return "丢失" + where + "页眉和页脚";
  if (header) return "丢失" + where + "页眉";
  if (footer) return "丢失" + where + "页脚";
  return "丢失第 " + std::to_string(index + 1) + " 节的分节";
}

void lostCount(int was, int is, const char* unit, std::vector<std::string>& out) {
  if (is < was) out.push_back("丢失 " + std::to_string(was - is) + " " + unit);
}

}  // namespace

std::vector<std::string> lostContent(const DocumentInventory& original, const DocumentInventory& written,
                                     const Effect& effect) {
  std::vector<std::string> out;
  size_t n = original.sections.size();
  bool headers = !effect.changesText(StoryKind::Header), footers = !effect.changesText(StoryKind::Footer);
  for (size_t i = 0; i < n; ++i) {
    if (i >= written.sections.size()) {
      // A style no page names holds only headers and footers: gone with their text when that
      // text was meant to go (headers or footers cleared).
      const SectionInventory& s = original.sections[i];
      bool kept = false;
      for (int k = 0; k < 3; ++k)
        kept = kept || (headers && has(s.headers[k])) || (footers && has(s.footers[k]));
      if (!s.placed && !kept) continue;
      out.push_back(lostSection(s, i, n));
      continue;
    }
    std::string where = sectionName(i, n);
    if (headers) compareHeaders(original.sections[i].headers, written.sections[i].headers, false, where, out);
    if (footers) compareHeaders(original.sections[i].footers, written.sections[i].footers, true, where, out);
  }
  if (!effect.changesText(StoryKind::Main) && original.mainText && written.mainText) {
    auto& was = *original.mainText;
    auto& is = *written.mainText;
    if (is.size() < was.size()) {
      out.push_back("丢失 " + std::to_string(was.size() - is.size()) + " 段正文");
    } else {
      for (size_t i = 0; i < was.size(); ++i)
        if (was[i] != is[i]) {
          out.push_back("改变第 " + std::to_string(i + 1) + " 段正文");
          break;
        }
    }
  }
  lostCount(original.tables, written.tables, "个表格", out);
  if (!effect.removesComments) lostCount(original.comments, written.comments, "条批注", out);
  if (!effect.removesPictures) {
    lostCount(original.pictures, written.pictures, "张图片", out);
    lostCount(original.shapes - original.pictures, written.shapes - written.pictures, "个图形或文本框", out);
  }
  if (!effect.changesText(StoryKind::TextFrames) && original.frameTexts.size() == written.frameTexts.size() &&
      original.frameTexts != written.frameTexts)
    out.push_back("改变文本框中的文字");
  return out;
}

std::string lossMessage(const std::vector<std::string>& losses) {
  std::string m = "保存后会";
  for (size_t i = 0; i < losses.size() && i < 3; ++i) m += (i ? "、" : "") + losses[i];
  if (losses.size() > 3) m += "等";
  return m + "，文档未修改";
}

void checkRoundTrip(Office& office, const fs::path& written, const DocumentInventory& original, const Effect& effect) {
  DocState result{&office, {}};
  DocumentInventory inv;
  try {
    result.model = loadModel(result, fileUrl(written), true, true, written.string());
    inv = takeInventory(result.model, original.mainText.has_value());
  } catch (const EngineError& e) {
    result.close();
    // The office cannot read back what it wrote: the original is kept.
    throw EngineError(ErrorCode::WriteFailed, written.string() + ": the office cannot read it back: " + e.detail());
  } catch (...) {
    result.close();
    throw;
  }
  result.close();
  auto losses = lostContent(original, inv, effect);
  if (losses.empty()) return;
  std::string detail = written.filename().string() + ": refused, the office-written copy lost content";
  throw EngineError::withParticulars(ErrorCode::LossyRoundTrip, lossMessage(losses), detail);
}

}  // namespace vm::word::office
