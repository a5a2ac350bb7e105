// Default bodies of the engine interface: what a back end has not built is Unsupported, never
// a silent empty answer.
#include "word/document.h"

namespace vm::word {

namespace {
std::string kindName(StoryKind kind) {
  switch (kind) {
    case StoryKind::Main: return "main";
    case StoryKind::Header: return "header";
    case StoryKind::Footer: return "footer";
    case StoryKind::Comments: return "comments";
    case StoryKind::Footnotes: return "footnotes";
    case StoryKind::Endnotes: return "endnotes";
    case StoryKind::TextFrames: return "text frames";
  }
  return "?";
}
}  // namespace

StoryId Story::id() const {
  if (kind() == StoryKind::Main) return {};
  throw EngineError(ErrorCode::Unsupported, "identity of a " + kindName(kind()) + " story");
}

void Story::clear() { throw EngineError(ErrorCode::Unsupported, "clearing a " + kindName(kind()) + " story"); }

void Story::insertTextAtStart(const std::string&) {
  throw EngineError(ErrorCode::Unsupported, "inserting text into a " + kindName(kind()) + " story");
}
void Story::insertPictureAtStart(const std::filesystem::path&) {
  throw EngineError(ErrorCode::Unsupported, "inserting a picture into a " + kindName(kind()) + " story");
}
void Story::removeFirstParagraphBorder() {
  throw EngineError(ErrorCode::Unsupported, "paragraph borders of a " + kindName(kind()) + " story");
}
void Story::addWatermark(const Watermark&) {
  throw EngineError(ErrorCode::Unsupported, "watermarks in a " + kindName(kind()) + " story");
}
int Story::removeHyperlinks() {
  throw EngineError(ErrorCode::Unsupported, "removing hyperlinks of a " + kindName(kind()) + " story");
}
int Story::removeBlankParagraphs() {
  throw EngineError(ErrorCode::Unsupported, "removing blank paragraphs of a " + kindName(kind()) + " story");
}

Story* Document::currentPageStory(StoryKind kind) {
  throw EngineError(ErrorCode::Unsupported, path().string() + ": the current page " + kindName(kind));
}
int Document::deleteComments() { throw EngineError(ErrorCode::Unsupported, path().string() + ": deleting comments"); }
void Document::removeHeaderStyleBorder() {
  throw EngineError(ErrorCode::Unsupported, path().string() + ": the header style's border");
}

Story& Document::ensureStory(StoryKind kind) {
  throw EngineError(ErrorCode::Unsupported, path().string() + ": creating a " + kindName(kind) + " story");
}

void Document::saveAs(const std::filesystem::path& target, const SaveOptions& options) {
  if (options.writePassword)
    throw EngineError(ErrorCode::Unsupported, target.string() + ": saving with a write password");
  saveAs(target, options.format);
}

std::unique_ptr<Document> Document::copy() const {
  throw EngineError(ErrorCode::Unsupported, path().string() + ": copying an open document");
}

void Document::saveAs(const std::filesystem::path& target, SaveFormat format) {
  SaveOptions options;
  options.format = format;
  saveAs(target, options);
}

FeatureSet Backend::features() const {
  return {Feature::MainText, Feature::Layout, Feature::InsertFile, Feature::Convert, Feature::Render};
}

std::string storyKindName(StoryKind kind) { return kindName(kind); }

}  // namespace vm::word
