#include "word/templatewriter.h"

#include "word/docx/filltemplate.h"

namespace vm::word {

std::string filledReplacement(const FillRule& rule, const std::vector<std::string>& values) {
  std::string out;
  for (const FillPart& part : rule.replacement) {
    if (part.field < 0) {
      out += part.text;
      continue;
    }
    if (static_cast<std::size_t>(part.field) >= values.size()) continue;
    const std::string& value = values[static_cast<std::size_t>(part.field)];
    if (rule.picture) {
      out += value;
      continue;
    }
    for (char c : value) {
      if (c == '^') out += '^';
      out += c;
    }
  }
  return out;
}

namespace {

class DocumentTemplate final : public TemplateWriter {
 public:
  DocumentTemplate(const std::filesystem::path& path, std::vector<FillRule> rules, const OpenOptions& options)
      : path_(path), rules_(std::move(rules)), options_(options) {
    options_.readOnly = true;
    parsed_ = open(path_, options_);
    try {
      parsed_->copy();
    } catch (const EngineError& e) {
      if (e.code() != ErrorCode::Unsupported) throw;
      parsed_->close();
      parsed_.reset();
    }
    if (parsed_ && parsed_->backend() == "docx") fast_ = docx::prepareTemplate(path_, rules_, options_.syncOnSave);
  }

  bool direct() const override { return fast_ != nullptr; }

  bool write(const std::vector<std::string>& values, const std::filesystem::path& target) override {
    if (fast_ && fast_->write(values, target)) return true;
    std::unique_ptr<Document> doc = parsed_ ? parsed_->copy() : open(path_, options_);
    for (const FillRule& rule : rules_) {
      const std::string filled = filledReplacement(rule, values);
      if (rule.picture) doc->mainStory().replaceWithPicture(rule.find, rule.picture(filled));
      else doc->mainStory().replaceAll(rule.find, filled);
    }
    doc->saveAs(target);
    doc->close();
    return false;
  }

 private:
  std::filesystem::path path_;
  std::vector<FillRule> rules_;
  OpenOptions options_;
  std::unique_ptr<Document> parsed_;  // null where the back end cannot copy: read per copy
  std::unique_ptr<docx::FilledTemplate> fast_;
};

}  // namespace

std::unique_ptr<TemplateWriter> openTemplate(const std::filesystem::path& path, std::vector<FillRule> rules,
                                             const OpenOptions& options) {
  return std::make_unique<DocumentTemplate>(path, std::move(rules), options);
}

}  // namespace vm::word
