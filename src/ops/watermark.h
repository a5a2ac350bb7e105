#pragma once
// Watermarks of many documents: the watermark settings ("水印设置"), their validation (the
// settings window's "保存设置" and the add command share it), the builder that puts the
// watermark in the current page header, and the operations "docSyAdd" (批量添加水印) and the
// header clearing started as 批量删除水印以及页眉 (watermark.cpp).

#include <QString>

#include <optional>

#include "word/document.h"
#include "app/settingsstore.h"

namespace vm::ops {

struct WatermarkSettings {
  int type = 0;                  // 0 text, 1 picture (chkSylx)
  QString content;               // the text, or "[img]path[/img]" (txtF)
  QString colour;                // decimal colour number, red in the lowest byte (txtSyColor); empty until chosen
  int transparency = 0;          // tenths, 0..10 (slid_sytmd)
  QString width, height;         // millimetres (txtSyk, txtSyg)
  bool centreHorizontally = true;
  bool centreVertically = true;

  static constexpr const char* kKeepAs = "watermark";
  void keep(SettingsFields& f) {
    f("type", type), f("content", content), f("colour", colour), f("transparency", transparency);
    f("width", width), f("height", height), f("centreHorizontally", centreHorizontally);
    f("centreVertically", centreVertically);
  }
};

// A failed check: the message (title "出错！") and the size field it clears.
struct WatermarkProblem {
  enum Field { None, Height, Width };
  QString text;
  Field clears = None;
};

// The checks of "保存设置" in their order; the add command refuses with the same messages.
// Beyond them, a size must be a whole number of millimetres from 1 to 32767 (what the shape
// can take).
std::optional<WatermarkProblem> checkWatermark(const WatermarkSettings& s);
// The message a size field shows on every change ("请输入水印高度！", "水印高度必须为数字！"
// which also clears it); none when it is a number.
std::optional<WatermarkProblem> checkSizeField(const QString& text, WatermarkProblem::Field field);

// The engine's watermark for the settings (checked): sizes rounded half to even to whole
// millimetres and turned into points (÷ 0.3528).
word::Watermark toWatermark(const WatermarkSettings& s);

// Adds the watermark to the document's current page header (made when missing) and removes the
// line of the header style. Saves.
void addWatermark(const QString& path, const word::Watermark& mark);

}  // namespace vm::ops
