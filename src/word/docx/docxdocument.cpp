#include "word/docx/docxdocument.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "word/docx/borders.h"
#include "word/docx/cleanup.h"
#include "word/docx/comments.h"
#include "word/docx/databinding.h"
#include "word/docx/editor.h"
#include "word/docx/findpattern.h"
#include "word/docx/headerfooter.h"
#include "word/docx/image.h"
#include "word/docx/package.h"
#include "word/docx/revisions.h"
#include "word/docx/storytext.h"
#include "word/docx/unicase.h"
#include "word/docx/watermark.h"
#include "word/docx/wml.h"
#include "word/metadata.h"
#include "word/docx/properties.h"
#include "word/docx/scripttext.h"
#include "word/docx/writeprotection.h"
#include "word/safesave.h"

namespace vm::word::docx {

namespace {

constexpr const char* kWpNamespace = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
constexpr const char* kRelNamespace = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kVmlNamespace = "urn:schemas-microsoft-com:vml";
constexpr const char* kOfficeNamespace = "urn:schemas-microsoft-com:office:office";

// The id of the style of a type whose (built-in, English) name is name; empty when none.
std::string styleIdNamed(Package& package, std::string_view type, std::string_view name) {
  const std::string& main = package.mainPartName();
  for (const Relationship& r : package.relationships(main)) {
    if (r.external || r.type.size() < 7 || r.type.compare(r.type.size() - 7, 7, "/styles") != 0) continue;
    std::string part = Package::resolveTarget(main, r.target);
    if (!package.hasPart(part)) return {};
    XmlPart& styles = package.xmlPart(part);
    Wml w(styles.root());
    const std::string styleName = w.name("style"), nameName = w.name("name");
    for (auto st = styles.root().child(styleName.c_str()); st; st = st.next_sibling(styleName.c_str()))
      if (w.attr(st, "type").value() == type && asciiLower(w.attr(st.child(nameName.c_str()), "val").value()) == name)
        return w.attr(st, "styleId").value();
  }
  return {};
}

// The largest wp:docPr id written in a part's XML text (any prefix).
long maxDocPrId(std::string_view xml) {
  long best = 0;
  for (std::size_t at = xml.find("docPr"); at != std::string_view::npos; at = xml.find("docPr", at + 5)) {
    if (at == 0 || (xml[at - 1] != ':' && xml[at - 1] != '<')) continue;
    std::size_t close = xml.find('>', at);
    std::string_view tag = xml.substr(at, close == std::string_view::npos ? std::string_view::npos : close - at);
    for (std::size_t id = tag.find("id="); id != std::string_view::npos; id = tag.find("id=", id + 3)) {
      if (id > 0 && tag[id - 1] != ' ' && tag[id - 1] != '\t' && tag[id - 1] != '\n' && tag[id - 1] != '\r') continue;
      std::size_t v = id + 4;
      long value = 0;
      auto res = std::from_chars(tag.data() + std::min(v, tag.size()), tag.data() + tag.size(), value);
      if (res.ec == std::errc()) best = std::max(best, value);
      break;
    }
  }
  return best;
}

// The pieces with every paragraph mark made a line break (for bound plain-text controls).
std::vector<Piece> marksAsLineBreaks(const std::vector<Piece>& pieces) {
  std::vector<Piece> out = pieces;
  for (Piece& p : out)
    if (p.kind == Piece::Mark) p.kind = Piece::LineBreak;
  return out;
}

bool hasMark(const std::vector<Piece>& pieces) {
  return std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.kind == Piece::Mark; });
}

class DocxDocument;

// A story whose text is the block content (paragraphs, tables, content controls) of one
// element of one part: the main story is w:body of the main part; headers, footers, notes and
// comments are the same kind of content in their own parts and join as further PartStory objects.
class PartStory final : public Story {
 public:
  PartStory(DocxDocument& doc, XmlPart& part, pugi::xml_node container, StoryId id)
      : doc_(doc), part_(part), w_(part.root()), body_(container), id_(id) {}

  StoryKind kind() const override { return id_.kind; }
  StoryId id() const override { return id_; }
  void clear() override;
  int replaceAll(const std::string& findText, const std::string& replacement, const FindOptions& options) override;
  int replaceWithPicture(const std::string& findText, const std::filesystem::path& picture,
                         const FindOptions& options) override;
  std::int64_t characterCount() override;
  std::vector<Paragraph> paragraphs() override;
  std::string text(std::int64_t start, std::int64_t end) override;
  void insertTextAtStart(const std::string& text) override;
  void insertPictureAtStart(const std::filesystem::path& picture) override;
  void removeFirstParagraphBorder() override;
  void addWatermark(const Watermark& mark) override;
  int removeHyperlinks() override;
  int removeBlankParagraphs() override;

  // Forgets what was read of the part after a change made from outside the story.
  void forget() { text_.reset(); }

 private:
  void changed() {
    part_.markDirty();
    text_.reset();
  }
  struct PictureRef {
    std::string rid, r;  // relationship id, the part's prefix for the relationships namespace
    long cx = 0, cy = 0;
    std::string fileName;  // escaped for an attribute
  };
  // Reads the picture and adds its media part, content type and relationship from this part.
  PictureRef addPicture(const std::filesystem::path& picture);
  std::string inlineDrawing(const PictureRef& pic, long id);
  // The story's first paragraph (in a table, its first cell's), made when the story has none.
  pugi::xml_node firstParagraph();
  // A new run at the start of the first paragraph, formatted as its first character.
  pugi::xml_node newRunAtStart();
  const StoryText& storyText();
  std::vector<std::pair<std::size_t, std::size_t>> find(const std::string& findText, const FindOptions& options);
  // Prefix (with colon) bound on the root to uri, declared there when missing.
  std::string ensurePrefix(const char* uri, const char* preferred);

  DocxDocument& doc_;
  XmlPart& part_;
  Wml w_;
  pugi::xml_node body_;
  StoryId id_;
  std::optional<StoryText> text_;
};

class DocxDocument final : public Document, public MetadataDocument, public ScriptTextDocument {
 public:
  DocxDocument(const std::filesystem::path& path, const OpenOptions& options)
      : path_(path), readOnly_(options.readOnly),
        lock_(options.readOnly ? nullptr : DocumentLock::acquire(path)),  // before the read: see safesave.h
        package_(std::make_unique<Package>(path, options.syncOnSave)),
        author_(options.revisionAuthor) {
    XmlPart& part = package_->xmlPart(package_->mainPartName());
    Wml w(part.root());
    main_ = std::make_unique<PartStory>(*this, part, w.child(part.root(), Tag::Body), StoryId{});
  }
  // A copy: read-only towards its path, no lock (see Document::copy).
  DocxDocument(const std::filesystem::path& path, std::unique_ptr<Package> package, std::string author)
      : path_(path), readOnly_(true), package_(std::move(package)), author_(std::move(author)) {
    XmlPart& part = package_->xmlPart(package_->mainPartName());
    Wml w(part.root());
    main_ = std::make_unique<PartStory>(*this, part, w.child(part.root(), Tag::Body), StoryId{});
  }

  std::unique_ptr<Document> copy() const override {
    check();
    return std::make_unique<DocxDocument>(path_, package_->clone(), author_);
  }

  const std::filesystem::path& path() const override { return path_; }
  std::string backend() const override { return "docx"; }
  Story& mainStory() override {
    check();
    return *main_;
  }
  std::vector<Story*> stories(StoryKind kind) override {
    check();
    if (kind == StoryKind::Main) return {main_.get()};
    if (kind != StoryKind::Header && kind != StoryKind::Footer)
      throw EngineError(ErrorCode::Unsupported, path_.string() + ": " + storyKindName(kind) + " stories");
    std::vector<Story*> out;
    for (const HeaderFooterPart& h : headerFooterParts(*package_, kind)) out.push_back(&partStory(h));
    return out;
  }

  Story& ensureStory(StoryKind kind) override {
    check();
    if (kind != StoryKind::Header && kind != StoryKind::Footer)
      throw EngineError(ErrorCode::Unsupported, path_.string() + ": creating " + storyKindName(kind) + " stories");
    if (readOnly_) throw EngineError(ErrorCode::ReadOnly, path_.string());
    return partStory(ensureCurrentPage(*package_, kind));
  }
  Story* currentPageStory(StoryKind kind) override {
    check();
    if (kind != StoryKind::Header && kind != StoryKind::Footer)
      throw EngineError(ErrorCode::Unsupported, path_.string() + ": the current page " + storyKindName(kind));
    std::optional<HeaderFooterPart> h = findCurrentPage(*package_, kind);
    return h ? &partStory(*h) : nullptr;
  }

  int deleteComments() override {
    check();
    int n = docx::deleteComments(*package_);
    // The marks went from the stories' parts: what was read of them is stale.
    main_->forget();
    for (auto& [name, story] : others_) story->forget();
    return n;
  }

  void removeHeaderStyleBorder() override {
    check();
    docx::removeHeaderStyleBorder(*package_);
  }

  bool modified() const override { return package_ && package_->modified(); }

  SummaryProperties properties() override {
    check();
    return readProperties(*package_);
  }
  void setProperties(const SummaryProperties& properties) override {
    check();
    writeProperties(*package_, properties);
  }
  bool hasWritePassword() override {
    check();
    return hasWriteProtection(*package_);
  }
  bool writePasswordMatches(const std::string& password) override {
    check();
    return docx::writePasswordMatches(*package_, password);
  }
  int convertText(const TextConverter& convert) override {
    check();
    const int n = convertPackageText(*package_, convert);
    // The stories' texts are stale now.
    main_->forget();
    for (auto& [name, story] : others_) story->forget();
    return n;
  }

  void save() override {
    check();
    if (readOnly_)
      throw EngineError(ErrorCode::ReadOnly, path_.string());
    package_->save(path_);
  }

  using Document::saveAs;
  void saveAs(const std::filesystem::path& target, const SaveOptions& options) override {
    check();
    if (options.format != SaveFormat::Same && options.format != SaveFormat::Docx)
      throw EngineError(ErrorCode::Unsupported, target.string() + ": the docx back end saves Word packages only");
    if (options.writePassword) setWritePassword(*package_, *options.writePassword);
    std::error_code ec;
    if (readOnly_ && std::filesystem::equivalent(target, path_, ec))
      throw EngineError(ErrorCode::ReadOnly, path_.string());
    package_->save(target);
    path_ = target;
  }

  void close() override {
    main_.reset();
    others_.clear();
    package_.reset();
    lock_.reset();
  }

  Package& package() { return *package_; }

  // With Track Changes on, what a replace in the part records its changes with (ids above the
  // part's, now as the date); nullptr when changes are not tracked.
  Revision* revision(XmlPart& part, const Wml& w) {
    if (!tracking_) tracking_ = tracksRevisions(*package_);
    if (!*tracking_) return nullptr;
    auto it = revisions_.find(part.name());
    if (it == revisions_.end()) {
      Revision r;
      r.author = author_.empty() ? defaultRevisionAuthor() : author_;
      r.nextId = maxRevisionId(part.root(), w.attrName("id")) + 1;
      it = revisions_.emplace(part.name(), std::move(r)).first;
    }
    it->second.date = utcNow();
    return &it->second;
  }

  // A wp:docPr id not used anywhere in the document.
  long nextDrawingId() {
    if (nextDrawingId_ == 0) {
      pugi::xml_node mainRoot = package_->xmlPart(package_->mainPartName()).root();
      long best = 0;
      for (const auto& name : package_->partNames()) {
        if (name == package_->mainPartName() || name.size() < 4 || name.compare(name.size() - 4, 4, ".xml") != 0)
          continue;
        if (package_->contentType(name).find("wordprocessingml") == std::string::npos) continue;
        if (XmlPart* loaded = package_->loadedPart(name)) {
          best = std::max(best, maxDocPrId(loaded->serialize()));
        } else {
          try {
            best = std::max(best, maxDocPrId(package_->readPart(name)));
          } catch (const EngineError&) {
            // an unreadable part is copied as it is; its ids cannot clash with what we can read
          }
        }
      }
      struct Walker : pugi::xml_tree_walker {
        long best = 0;
        bool for_each(pugi::xml_node& n) override {
          std::string_view name = n.name();
          if (name.size() >= 5 && name.substr(name.size() - 5) == "docPr" &&
              (name.size() == 5 || name[name.size() - 6] == ':')) {
            long v = 0;
            std::string_view id = n.attribute("id").value();
            std::from_chars(id.data(), id.data() + id.size(), v);
            best = std::max(best, v);
          }
          return true;
        }
      } walker;
      mainRoot.traverse(walker);
      nextDrawingId_ = std::max(best, walker.best) + 1;
    }
    return nextDrawingId_++;
  }

 private:
  void check() const {
    if (!package_) throw EngineError(ErrorCode::InvalidArgument, path_.string() + ": the document is closed");
  }

  std::filesystem::path path_;
  bool readOnly_;
  std::unique_ptr<DocumentLock> lock_;
  std::unique_ptr<Package> package_;
  // The story of a header or footer part, made on first use and kept (callers hold pointers).
  PartStory& partStory(const HeaderFooterPart& h) {
    auto& slot = others_[h.part];
    if (!slot) {
      XmlPart& part = package_->xmlPart(h.part);
      slot = std::make_unique<PartStory>(*this, part, part.root(), h.id);
    }
    return *slot;
  }

  std::unique_ptr<PartStory> main_;
  std::map<std::string, std::unique_ptr<PartStory>> others_;  // by part name
  long nextDrawingId_ = 0;
  std::string author_;
  std::optional<bool> tracking_;
  std::map<std::string, Revision> revisions_;
};

const StoryText& PartStory::storyText() {
  if (!text_) text_ = body_ ? buildStoryText(body_, w_) : StoryText{};
  return *text_;
}

std::vector<std::pair<std::size_t, std::size_t>> PartStory::find(const std::string& findText,
                                                                 const FindOptions& options) {
  FindPattern pattern(findText, options);
  return pattern.findAll(storyText().text);
}

int PartStory::replaceAll(const std::string& findText, const std::string& replacement, const FindOptions& options) {
  auto matches = find(findText, options);
  std::vector<Piece> pieces = parseReplacement(replacement);
  if (matches.empty()) return 0;
  const StoryText& st = storyText();
  // Without ^& the pieces depend only on the case form of the match: three lists at most.
  std::optional<std::vector<Piece>> forms[3];
  std::deque<std::vector<Piece>> own;
  bool perMatch = usesFoundText(pieces);
  std::vector<Replacement> reps;
  reps.reserve(matches.size());
  BoundControls bound(w_);
  bool marks = perMatch || hasMark(pieces);
  for (auto [b, e] : matches) {
    bound.addMatch(st, b, e, body_);
    std::u32string_view found(st.text.data() + b, e - b);
    CaseForm form = options.matchCase ? CaseForm::AsTyped : caseFormOf(found);
    const std::vector<Piece>* list;
    if (perMatch) {
      list = &own.emplace_back(expandReplacement(pieces, found, form));
    } else {
      auto& slot = forms[static_cast<int>(form)];
      if (!slot) slot = expandReplacement(pieces, found, form);
      list = &*slot;
    }
    if (marks && hasMark(*list) && bound.inInlinePlainText(st, b)) list = &own.emplace_back(marksAsLineBreaks(*list));
    reps.push_back({b, e, list});
  }
  applyReplacements(st, w_, reps, doc_.revision(part_, w_));
  changed();
  // Word writes a bound control's new text into its data too, or it shows the old one again.
  if (!bound.empty()) bound.write(doc_.package());
  return static_cast<int>(matches.size());
}

std::string PartStory::ensurePrefix(const char* uri, const char* preferred) {
  pugi::xml_node root = part_.root();
  bool found = false;
  std::string prefix = Wml::prefixFor(root, uri, &found);
  if (found) return prefix;
  std::string name = preferred;
  for (int k = 1; root.attribute(("xmlns:" + name).c_str()); ++k) name = std::string(preferred) + std::to_string(k);
  root.append_attribute(("xmlns:" + name).c_str()) = uri;
  return name + ":";
}

int PartStory::replaceWithPicture(const std::string& findText, const std::filesystem::path& picture,
                                  const FindOptions& options) {
  auto matches = find(findText, options);
  if (matches.empty()) return 0;  // as Word: the picture is only needed where the text occurs

  const PictureRef pic = addPicture(picture);
  const StoryText& st = storyText();
  std::deque<std::vector<Piece>> own;
  std::vector<Replacement> reps;
  reps.reserve(matches.size());
  BoundControls bound(w_);
  for (auto [b, e] : matches) {
    bound.addMatch(st, b, e, body_);
    Piece piece{Piece::Object, {}, {}};
    piece.xml = inlineDrawing(pic, doc_.nextDrawingId());
    reps.push_back({b, e, &own.emplace_back(std::vector<Piece>{std::move(piece)})});
  }
  applyReplacements(st, w_, reps, doc_.revision(part_, w_));
  changed();
  // A picture is no text: the bound data gets the text around it.
  if (!bound.empty()) bound.write(doc_.package());
  return static_cast<int>(matches.size());
}

PartStory::PictureRef PartStory::addPicture(const std::filesystem::path& picture) {
  std::string bytes = readPictureFile(picture);
  std::optional<ImageInfo> info = readImageInfo(bytes);
  if (!info)
    throw EngineError(ErrorCode::PictureUnreadable, picture.string() + ": not a PNG, JPEG, GIF or BMP image");

  // Media go beside the main part (word/media/imageN.ext, N unused under any extension, as Word
  // numbers them); the relationship goes from the part that holds the occurrence.
  Package& pkg = doc_.package();
  const std::string& mainName = pkg.mainPartName();
  std::string folder = mainName.substr(0, mainName.rfind('/') + 1);
  std::string media;
  std::vector<std::string> names = pkg.partNames();
  for (auto& n : names) n = asciiLower(n);
  std::string lowerFolder = asciiLower(folder);
  for (int n = 1;; ++n) {
    std::string stem = lowerFolder + "media/image" + std::to_string(n) + ".";
    if (std::none_of(names.begin(), names.end(), [&](const std::string& x) { return x.rfind(stem, 0) == 0; })) {
      media = folder + "media/image" + std::to_string(n) + "." + info->extension;
      break;
    }
  }
  PictureRef pic;
  pic.r = ensurePrefix(kRelNamespace, "r");
  pic.cx = static_cast<long>(info->widthEmu());
  pic.cy = static_cast<long>(info->heightEmu());
  pic.fileName = escapeXml(picture.filename().string(), true);
  pkg.addBinaryPart(media, std::move(bytes));
  pkg.ensureDefaultContentType(info->extension, info->contentType);
  pic.rid = pkg.addRelationship(part_.name(), rel::kImage, Package::relativeTarget(part_.name(), media));
  return pic;
}

std::string PartStory::inlineDrawing(const PictureRef& pic, long drawingId) {
  const std::string wp = ensurePrefix(kWpNamespace, "wp");
  const std::string cx = std::to_string(pic.cx), cy = std::to_string(pic.cy), id = std::to_string(drawingId);
  return "<" + w_.name("drawing") + "><" + wp + "inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"><" +
         wp + "extent cx=\"" + cx + "\" cy=\"" + cy + "\"/><" + wp +
         "effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/><" + wp + "docPr id=\"" + id + "\" name=\"图片 " + id +
         "\"/><" + wp +
         "cNvGraphicFramePr><a:graphicFrameLocks xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
         "noChangeAspect=\"1\"/></" + wp +
         "cNvGraphicFramePr><a:graphic xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
         "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
         "<pic:pic xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:nvPicPr>"
         "<pic:cNvPr id=\"0\" name=\"" + pic.fileName + "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip " +
         pic.r + "embed=\"" + pic.rid + "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm>"
         "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"" + cx + "\" cy=\"" + cy + "\"/></a:xfrm><a:prstGeom prst=\"rect\">"
         "<a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic></" + wp + "inline></" +
         w_.name("drawing") + ">";
}

pugi::xml_node PartStory::firstParagraph() {
  pugi::xml_node found;
  walkNested(body_, [&](pugi::xml_node c, bool& stop) -> pugi::xml_node {
    if (c.type() != pugi::node_element) return {};
    switch (w_.tag(c)) {
      case Tag::P: found = c; stop = true; return {};
      case Tag::Tbl: case Tag::Tr: case Tag::Tc: case Tag::CustomXml: return c;
      case Tag::Sdt: return w_.child(c, Tag::SdtContent);
      default: return {};
    }
  });
  if (found) return found;
  pugi::xml_node sect = w_.child(body_, Tag::SectPr);
  return sect ? body_.insert_child_before(w_.name("p").c_str(), sect) : body_.append_child(w_.name("p").c_str());
}

pugi::xml_node PartStory::newRunAtStart() {
  pugi::xml_node p = firstParagraph();
  pugi::xml_node pPr = w_.child(p, Tag::PPr);
  // Typing at the start takes the first character's formatting, else the paragraph mark's.
  pugi::xml_node source;
  for (auto c = p.first_child(); c && !source; c = c.next_sibling())
    if (c.type() == pugi::node_element && w_.tag(c) == Tag::R) source = w_.child(c, Tag::RPr);
  if (!source && pPr) source = w_.child(pPr, Tag::RPr);
  pugi::xml_node run = pPr ? p.insert_child_after(w_.name("r").c_str(), pPr) : p.prepend_child(w_.name("r").c_str());
  if (source) {
    pugi::xml_node rPr = run.append_copy(source);
    for (pugi::xml_node c = rPr.first_child(), next; c; c = next) {
      next = c.next_sibling();
      Tag t = w_.tag(c);
      std::string_view n = c.name();
      if (t == Tag::Ins || t == Tag::Del || n.ends_with("moveFrom") || n.ends_with("moveTo") || n.ends_with("rPrChange"))
        rPr.remove_child(c);
    }
  }
  return run;
}

void PartStory::insertTextAtStart(const std::string& text) {
  if (text.empty()) return;
  pugi::xml_node t = newRunAtStart().append_child(w_.name("t").c_str());
  t.append_attribute("xml:space") = "preserve";
  t.append_child(pugi::node_pcdata).set_value(escapeXml(text, false).c_str());
  changed();
}

void PartStory::insertPictureAtStart(const std::filesystem::path& picture) {
  const PictureRef pic = addPicture(picture);  // before anything changes: it may be unreadable
  std::string xml = inlineDrawing(pic, doc_.nextDrawingId());
  newRunAtStart().append_buffer(xml.data(), xml.size(), pugi::parse_minimal);
  changed();
}

void PartStory::removeFirstParagraphBorder() {
  setNoBottomBorder(ensurePPr(firstParagraph(), w_), w_);
  changed();
}

void PartStory::addWatermark(const Watermark& mark) {
  std::string xml;
  if (mark.text.empty()) {
    const PictureRef pic = addPicture(mark.picture);
    xml = "<" + w_.name("drawing") + ">" +
          floatingPictureDrawing(ensurePrefix(kWpNamespace, "wp"), pic.r, pic.rid, pic.cx, pic.cy,
                                 doc_.nextDrawingId(), pic.fileName) +
          "</" + w_.name("drawing") + ">";
  } else {
    VmlPrefixes p{ensurePrefix(kVmlNamespace, "v"), ensurePrefix(kOfficeNamespace, "o")};
    bool declared = part_.root().find_node([](pugi::xml_node n) {
      return std::string_view(n.attribute("id").value()) == "_x0000_t136";
    });
    xml = "<" + w_.name("pict") + ">" + wordArtPict(mark, p, !declared, 4096 + doc_.nextDrawingId()) + "</" +
          w_.name("pict") + ">";
  }
  newRunAtStart().append_buffer(xml.data(), xml.size(), pugi::parse_minimal);
  changed();
}

int PartStory::removeHyperlinks() {
  if (!body_) return 0;
  HyperlinksRemoved removed = docx::removeHyperlinks(body_, w_, styleIdNamed(doc_.package(), "character", "hyperlink"));
  if (removed.count == 0) return 0;
  changed();
  // A link's target goes with the last link that pointed to it.
  if (!removed.relationshipIds.empty()) {
    const std::string xml = part_.serialize();
    for (const std::string& id : removed.relationshipIds)
      if (xml.find("\"" + id + "\"") == std::string::npos && xml.find("'" + id + "'") == std::string::npos)
        doc_.package().removeRelationship(part_.name(), id);
  }
  return removed.count;
}

int PartStory::removeBlankParagraphs() {
  if (!body_) return 0;
  int n = docx::removeBlankParagraphs(body_, w_);
  if (n) changed();
  return n;
}

// Word's Characters.Count of the main story: every character of its text as StoryText counts
// it (letters, spaces, tabs, breaks, inline pictures, note and comment reference marks, each
// paragraph mark, each end-of-cell and end-of-row mark), characters outside the Basic
// Multilingual Plane counting two as in Word's positions. Not counted: field codes (the
// results are), deleted tracked text, floating shapes, and the other stories (text boxes,
// headers, footers, notes, comments).
std::int64_t PartStory::characterCount() { return storyText().length; }

std::vector<Paragraph> PartStory::paragraphs() {
  const StoryText& st = storyText();
  std::vector<Paragraph> out;
  out.reserve(st.paras.size());
  for (std::size_t k = 0; k < st.paras.size(); ++k) {
    const ParaRecord& rec = st.paras[k];
    std::int64_t end = k + 1 < st.paras.size() ? st.paras[k + 1].position : st.length;
    Paragraph p{rec.kind == MarkKind::Row ? std::string() : st.render(rec.begin, rec.mark), rec.position, end,
                rec.inTable, rec.kind == MarkKind::Cell, rec.kind == MarkKind::Row};
    out.push_back(std::move(p));
  }
  return out;
}

// Word's WholeStory.Delete: the last paragraph mark stays (with its paragraph formatting), and
// in the main story the last section's properties.
void PartStory::clear() {
  if (!body_) return;
  pugi::xml_node lastPara, keep;
  for (auto n = body_.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element) continue;
    Tag t = w_.tag(n);
    if (t == Tag::P) lastPara = n;
    if (t == Tag::SectPr) keep = n;
  }
  pugi::xml_node p = body_.prepend_child(w_.name("p").c_str());
  if (pugi::xml_node pPr = lastPara ? w_.child(lastPara, Tag::PPr) : pugi::xml_node()) {
    pugi::xml_node copy = p.append_copy(pPr);
    if (pugi::xml_node sect = w_.child(copy, Tag::SectPr)) copy.remove_child(sect);
  }
  for (pugi::xml_node n = p.next_sibling(), next; n; n = next) {
    next = n.next_sibling();
    if (n != keep) body_.remove_child(n);
  }
  changed();
}

std::string PartStory::text(std::int64_t start, std::int64_t end) {
  const StoryText& st = storyText();
  if (end <= start) return {};
  return st.render(st.indexOf(start), st.indexOf(end));
}

}  // namespace

std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options) {
  return std::make_unique<DocxDocument>(path, options);
}

namespace {
class DocxBackend final : public Backend {
 public:
  std::string name() const override { return "docx"; }
  std::string version() const override { return "docx"; }
  bool available() const override { return true; }
  FeatureSet features() const override {
    return {Feature::MainText, Feature::HeaderFooter, Feature::Comments, Feature::Cleanup, Feature::WritePassword,
            Feature::Properties};
  }
  std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options) override {
    return docx::open(path, options);
  }
};
}  // namespace

}  // namespace vm::word::docx

namespace vm::word {

std::shared_ptr<Backend> docxBackend() {
  static const std::shared_ptr<Backend> backend = std::make_shared<docx::DocxBackend>();
  return backend;
}

}  // namespace vm::word
