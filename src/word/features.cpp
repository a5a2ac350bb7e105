#include "word/features.h"

#include "word/document.h"

namespace vm::word {

std::string featureName(Feature f) {
  switch (f) {
    case Feature::MainText: return "正文查找替换";
    case Feature::HeaderFooter: return "页眉页脚";
    case Feature::Comments: return "批注";
    case Feature::Notes: return "脚注尾注";
    case Feature::TextBoxes: return "文本框";
    case Feature::Layout: return "页面排版";
    case Feature::InsertFile: return "插入文档";
    case Feature::Convert: return "格式转换";
    case Feature::WritePassword: return "写密码";
    case Feature::Properties: return "摘要信息";
    case Feature::Render: return "打印输出";
    case Feature::Cleanup: return "文档清理";
  }
  return "未知功能";
}

FeatureSet docxFeatures() { return docxBackend()->features(); }

FeatureSet installedFeatures() {
  FeatureSet r = docxFeatures();
  auto office = officeBackend();
  if (office && office->available()) r = r | office->features();
  return r;
}

}  // namespace vm::word
