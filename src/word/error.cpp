#include "word/error.h"

namespace vm::word {

const std::string& userText(ErrorCode code) {
  static const std::string fileNotFound = "找不到文档";
  static const std::string unreadable = "无法读取文档（没有读取权限、文件被占用或不是普通文件）";
  static const std::string notAZip = "文档不是有效的 Word 文档（不是 docx 文件包，或文件为空、不完整）";
  static const std::string wrongExtension =
      "文档的实际格式与扩展名不符（例如 .doc、RTF 或网页文件被改名为 .docx），请按实际格式改名后再处理";
  static const std::string passwordRequired = "文档设有打开密码，无法处理";
  static const std::string noMainPart = "文档已损坏：找不到正文部分";
  static const std::string damagedPart = "文档内容已损坏，无法读取";
  static const std::string unsupportedFormat =
      "不支持的文档格式：只能处理 Word 文档（处理 .doc 等格式需要安装 LibreOffice）";
  static const std::string unsupported = "暂不支持对此文档执行这项操作";
  static const std::string pictureUnreadable =
      "找不到图片文件、无法读取或格式不支持（只支持 PNG、JPEG、GIF、BMP）";
  static const std::string writeFailed =
      "保存文档失败（没有写入权限、保存位置不存在或文件被占用），原文档未改动";
  static const std::string diskFull = "保存文档失败：磁盘空间不足，原文档未改动";
  static const std::string readOnly = "文档为只读，未修改";
  static const std::string badFindText =
      "查找或替换内容无效：查找内容不能为空，^ 后须是有效的特殊字符（如 ^p ^t ^l ^m ^^ ^&）";
  static const std::string invalidArgument = "无法执行此操作（参数无效）";
  static const std::string pageOutOfRange = "页码超出文档范围";
  static const std::string officeUnavailable = "此操作需要 LibreOffice，但它没有安装或无法启动";
  static const std::string officeFailed = "办公软件无响应或意外退出，文档处理失败";
  static const std::string lossyRoundTrip = "保存后会丢失文档中原有的内容，文档未修改";
  static const std::string tooLarge =
      "文件过大，超出处理上限（文档解压后单个部分不超过 512 MB、合计不超过 1 GB，图片不超过 64 MB），未处理";
  static const std::string concurrentEdit = "文档在处理期间被其他程序修改，未保存";
  static const std::string openElsewhere = "文档正被其他程序打开，未修改";
  static const std::string tooDeep = "文档结构嵌套过深（超过 1000 层），无法处理";
  switch (code) {
    case ErrorCode::FileNotFound: return fileNotFound;
    case ErrorCode::Unreadable: return unreadable;
    case ErrorCode::NotAZip: return notAZip;
    case ErrorCode::WrongExtension: return wrongExtension;
    case ErrorCode::PasswordRequired: return passwordRequired;
    case ErrorCode::NoMainPart: return noMainPart;
    case ErrorCode::DamagedPart: return damagedPart;
    case ErrorCode::UnsupportedFormat: return unsupportedFormat;
    case ErrorCode::Unsupported: return unsupported;
    case ErrorCode::PictureUnreadable: return pictureUnreadable;
    case ErrorCode::WriteFailed: return writeFailed;
    case ErrorCode::DiskFull: return diskFull;
    case ErrorCode::ReadOnly: return readOnly;
    case ErrorCode::BadFindText: return badFindText;
    case ErrorCode::InvalidArgument: return invalidArgument;
    case ErrorCode::PageOutOfRange: return pageOutOfRange;
    case ErrorCode::OfficeUnavailable: return officeUnavailable;
    case ErrorCode::OfficeFailed: return officeFailed;
    case ErrorCode::LossyRoundTrip: return lossyRoundTrip;
    case ErrorCode::TooLarge: return tooLarge;
    case ErrorCode::TooDeep: return tooDeep;
    case ErrorCode::ConcurrentEdit: return concurrentEdit;
    case ErrorCode::OpenElsewhere: return openElsewhere;
  }
  return invalidArgument;
}

}  // namespace vm::word
