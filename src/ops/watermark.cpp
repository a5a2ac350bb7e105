#include "ops/watermark.h"

#include <cmath>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "ops/headerfooter.h"
#include "rules/replacerules.h"

namespace vm::ops {

namespace {

bool isNumber(const QString& text) {
  bool ok = false;
  text.trimmed().toDouble(&ok);
  return ok;
}

// Whole millimetres as the shape takes them: rounded half to even, 1 to 32767.
std::optional<int> millimetres(const QString& text) {
  const double v = std::nearbyint(text.trimmed().toDouble());  // the default rounding: half to even
  if (!(v >= 1 && v <= 32767)) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace

std::optional<WatermarkProblem> checkSizeField(const QString& text, WatermarkProblem::Field field) {
  const QString what = field == WatermarkProblem::Height ? QStringLiteral("高度") : QStringLiteral("宽度");
  if (text.trimmed().isEmpty()) return WatermarkProblem{QStringLiteral("请输入水印%1！").arg(what), WatermarkProblem::None};
  if (!isNumber(text)) return WatermarkProblem{QStringLiteral("水印%1必须为数字！").arg(what), field};
  return std::nullopt;
}

std::optional<WatermarkProblem> checkWatermark(const WatermarkSettings& s) {
  const bool text = s.type == 0;
  if (rules::trimBlanks(s.content).isEmpty()) return WatermarkProblem{QStringLiteral("请输入水印的内容！")};
  if (text && s.transparency == 0) return WatermarkProblem{QStringLiteral("水印透明度必须大于0！")};
  if (auto p = checkSizeField(s.height, WatermarkProblem::Height)) return p;
  if (auto p = checkSizeField(s.width, WatermarkProblem::Width)) return p;
  if (text && s.colour.trimmed().isEmpty()) return WatermarkProblem{QStringLiteral("请选择水印颜色！")};
  if (!millimetres(s.height)) return WatermarkProblem{QStringLiteral("水印高度必须在1到32767毫米之间！")};
  if (!millimetres(s.width)) return WatermarkProblem{QStringLiteral("水印宽度必须在1到32767毫米之间！")};
  return std::nullopt;
}

word::Watermark toWatermark(const WatermarkSettings& s) {
  const QString content = rules::trimBlanks(s.content);
  word::Watermark mark;
  if (rules::isPictureReference(content)) {
    mark.picture = toPath(rules::picturePath(content));
    return mark;
  }
  mark.text = content.toStdString();
  // A content with one marker only is WordArt left as added, without the formatting.
  mark.formatted = !content.contains(rules::kImgOpen) && !content.contains(rules::kImgClose);
  mark.colour = static_cast<std::uint32_t>(s.colour.trimmed().toLongLong()) & 0xFFFFFF;
  mark.transparency = s.transparency / 10.0;
  mark.heightPt = millimetres(s.height).value_or(0) / 0.3528;
  mark.widthPt = millimetres(s.width).value_or(0) / 0.3528;
  mark.centreHorizontally = s.centreHorizontally;
  mark.centreVertically = s.centreVertically;
  return mark;
}

void addWatermark(const QString& path, const word::Watermark& mark) {
  auto doc = openFor(path, {word::Feature::HeaderFooter, word::Feature::Cleanup});
  doc->ensureStory(word::StoryKind::Header).addWatermark(mark);
  doc->removeHeaderStyleBorder();
  doc->save();
  doc->close();
}

namespace {

const QString kSettingsItem = QStringLiteral("m_sy_setup");

Question confirm(const QString& title, const QString& question) {
  return Question{title, question + QStringLiteral("\n\n你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
}

// "0xRRGGBB" and "#RRGGBB" as a colour number (red in the lowest byte); a decimal as it is.
std::optional<QString> colourNumber(QString v) {
  v = v.trimmed();
  bool ok = false;
  if (v.startsWith(QLatin1Char('#'))) {
    const uint rgb = v.mid(1).toUInt(&ok, 16);
    if (!ok || v.size() != 7) return std::nullopt;
    return QString::number(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
  }
  const uint n = v.toUInt(&ok);
  if (!ok || n > 0xFFFFFF) return std::nullopt;
  return QString::number(n);
}

}  // namespace

}  // namespace vm::ops

VM_OPERATION(watermarkAdd) {
  using namespace vm;
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = QStringLiteral("docSyAdd");
  d.title = QStringLiteral("批量添加水印");
  d.menuItems = {QStringLiteral("m_start_sy_add")};
  d.settingsItems = {ops::kSettingsItem};
  d.features = {word::Feature::HeaderFooter, word::Feature::Cleanup};
  d.checks = {
      requireTickedDocuments(),
      // Settings that would make a broken watermark are refused before any document is opened.
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (auto p = ops::checkWatermark(env.app.store<ops::WatermarkSettings>()))
          return Refusal{msg::titleError(), p->text, ops::kSettingsItem};
        return std::nullopt;
      },
  };
  d.question = [](OperationEnv&) {
    return ops::confirm(QStringLiteral("水印添加"), QStringLiteral("你确认开始批量增加水印了吗？"));
  };
  d.prepare = [](OperationEnv& env) {
    const word::Watermark mark = ops::toWatermark(env.app.store<ops::WatermarkSettings>());
    RunSteps s;
    s.perDocument = [mark](const QString& path) {
      ops::addWatermark(path, mark);
      return QStringLiteral("已添加水印");
    };
    return s;
  };
  d.cli.name = QStringLiteral("watermark add");
  d.cli.synopsis = QStringLiteral("(--text TEXT --colour N --transparency 1-10 | --picture FILE) --width MM --height MM "
                                  "[--no-centre-horizontally] [--no-centre-vertically] PATH...");
  d.cli.summary = QStringLiteral("adds a WordArt or picture watermark in each document's current page header (批量添加水印)");
  d.cli.options = {
      {QStringLiteral("text"), true, QStringLiteral("TEXT"), QStringLiteral("the watermark text (宋体 36)")},
      {QStringLiteral("picture"), true, QStringLiteral("FILE"), QStringLiteral("a picture watermark at its own size")},
      {QStringLiteral("colour"), true, QStringLiteral("N"), QStringLiteral("text colour: a colour number (red + green*256 + blue*65536) or #RRGGBB")},
      {QStringLiteral("transparency"), true, QStringLiteral("0-10"), QStringLiteral("transparency in tenths")},
      {QStringLiteral("width"), true, QStringLiteral("MM"), QStringLiteral("width in millimetres"), true},
      {QStringLiteral("height"), true, QStringLiteral("MM"), QStringLiteral("height in millimetres"), true},
      {QStringLiteral("no-centre-horizontally"), false, {}, QStringLiteral("leave the text at the left margin")},
      {QStringLiteral("no-centre-vertically"), false, {}, QStringLiteral("leave the text at the top margin")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& v) -> std::optional<Refusal> {
    const bool text = v.has(QStringLiteral("text")), picture = v.has(QStringLiteral("picture"));
    if (text == picture) return Refusal{{}, QStringLiteral("give --text or --picture (one of them)"), {}};
    ops::WatermarkSettings& s = env.app.store<ops::WatermarkSettings>();
    s = {};
    s.type = text ? 0 : 1;
    s.content = text ? v.value(QStringLiteral("text")) : rules::pictureReference(v.value(QStringLiteral("picture")));
    if (v.has(QStringLiteral("colour"))) {
      auto n = ops::colourNumber(v.value(QStringLiteral("colour")));
      if (!n) return Refusal{{}, QStringLiteral("--colour takes a number from 0 to 16777215 or #RRGGBB"), {}};
      s.colour = *n;
    }
    if (v.has(QStringLiteral("transparency"))) {
      bool ok = false;
      s.transparency = v.value(QStringLiteral("transparency")).toInt(&ok);
      if (!ok || s.transparency < 0 || s.transparency > 10)
        return Refusal{{}, QStringLiteral("--transparency takes a whole number from 0 to 10"), {}};
    }
    s.width = v.value(QStringLiteral("width"));
    s.height = v.value(QStringLiteral("height"));
    s.centreHorizontally = !v.has(QStringLiteral("no-centre-horizontally"));
    s.centreVertically = !v.has(QStringLiteral("no-centre-vertically"));
    return std::nullopt;
  };
  return d;
}

// Removing watermarks is clearing every header; a paused run goes on clearing headers.
VM_OPERATION(watermarkDelete) {
  using namespace vm;
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = QStringLiteral("docSyDel");
  d.title = QStringLiteral("批量删除水印以及页眉");
  d.menuItems = {QStringLiteral("m_start_sy_del")};
  d.features = {word::Feature::HeaderFooter};
  d.checks = {requireTickedDocuments()};
  d.question = [](OperationEnv&) {
    return ops::confirm(QStringLiteral("水印删除"), QStringLiteral("你确认开始批量删除水印以及页眉了吗？"));
  };
  d.prepare = [](OperationEnv&) {
    RunSteps s;
    s.perDocument = [](const QString& path) {
      return QStringLiteral("清空页眉 %1 个").arg(ops::clearHeadersFooters(path, word::StoryKind::Header));
    };
    return s;
  };
  d.cli.name = QStringLiteral("watermark delete");
  d.cli.synopsis = QStringLiteral("PATH...");
  d.cli.summary = QStringLiteral("removes watermarks by emptying every header (批量删除水印以及页眉)");
  return d;
}
