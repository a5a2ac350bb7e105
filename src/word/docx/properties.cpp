#include "word/docx/properties.h"

#include "word/docx/package.h"
#include "word/docx/storytext.h"
#include "word/docx/unicase.h"
#include "word/docx/wml.h"

namespace vm::word::docx {

namespace {

constexpr const char* kCoreRel = "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
constexpr const char* kExtendedRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
constexpr const char* kExtendedRelStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties";
constexpr const char* kCoreNs = "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
constexpr const char* kDcNs = "http://purl.org/dc/elements/1.1/";
constexpr const char* kExtendedNs = "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
constexpr const char* kExtendedNsStrict = "http://purl.oclc.org/ooxml/officeDocument/extendedProperties";
constexpr const char* kProlog = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

// The prefix (with colon) bound to uri on the root; "" when it is the default namespace.
std::string prefixOf(pugi::xml_node root, const char* uri, bool* found) {
  if (std::string_view(root.attribute("xmlns").value()) == uri) {
    *found = true;
    return "";
  }
  return Wml::prefixFor(root, uri, found);
}

// The prefix bound to uri on the root, declared there when missing.
std::string ensurePrefix(XmlPart& part, const char* uri, const char* preferred) {
  pugi::xml_node root = part.root();
  bool found = false;
  std::string prefix = prefixOf(root, uri, &found);
  if (found) return prefix;
  std::string name = preferred;
  for (int k = 1; root.attribute(("xmlns:" + name).c_str()); ++k) name = std::string(preferred) + std::to_string(k);
  root.append_attribute(("xmlns:" + name).c_str()) = uri;
  part.markDirty();
  return name + ":";
}

pugi::xml_node findChild(pugi::xml_node root, const std::string& qualified) {
  return root.child(qualified.c_str());
}

// The element's text with its entity references decoded (parts keep them as written).
std::string textOf(pugi::xml_node element) {
  std::string out;
  for (auto c = element.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_pcdata && c.type() != pugi::node_cdata) continue;
    decodeRawText(c.value(), c.type() == pugi::node_cdata, [&](char32_t code, std::size_t, std::size_t) {
      appendUtf8(out, code);
    });
  }
  return out;
}

void setText(XmlPart& part, pugi::xml_node root, const std::string& qualified, const std::string& value) {
  pugi::xml_node e = findChild(root, qualified);
  if (!e) e = root.append_child(qualified.c_str());
  if (textOf(e) == value && !e.first_child().next_sibling()) return;
  while (e.first_child()) e.remove_child(e.first_child());
  if (!value.empty()) e.append_child(pugi::node_pcdata).set_value(escapeXml(value, false).c_str());
  part.markDirty();
}

XmlPart& ensurePart(Package& package, const std::string& existing, const char* name, const char* rootXml,
                    const char* contentType, const char* relType) {
  if (!existing.empty()) return package.xmlPart(existing);
  // A part of that name that no relationship names is left alone.
  std::string free = name;
  for (int k = 2; package.hasPart(free); ++k)
    free = std::string(name).insert(std::string_view(name).rfind('.'), std::to_string(k));
  XmlPart& part = package.addXmlPart(free, std::string(kProlog) + rootXml);
  package.setOverrideContentType(free, contentType);
  package.addRelationship("", relType, free);
  return part;
}

}  // namespace

std::string packagePart(Package& package, std::initializer_list<const char*> types) {
  for (const Relationship& r : package.relationships("")) {
    if (r.external) continue;
    for (const char* t : types) {
      if (r.type != t) continue;
      std::string name = Package::resolveTarget("", r.target);
      if (package.hasPart(name)) return name;
    }
  }
  return {};
}

SummaryProperties readProperties(Package& package) {
  SummaryProperties p;
  if (std::string core = packagePart(package, {kCoreRel}); !core.empty()) {
    pugi::xml_node root = package.xmlPart(core).root();
    bool found = false;
    const std::string dc = prefixOf(root, kDcNs, &found);
    p.title = textOf(findChild(root, dc + "title"));
    p.subject = textOf(findChild(root, dc + "subject"));
    p.author = textOf(findChild(root, dc + "creator"));
  }
  if (std::string app = packagePart(package, {kExtendedRel, kExtendedRelStrict}); !app.empty()) {
    pugi::xml_node root = package.xmlPart(app).root();
    bool found = false;
    std::string prefix = prefixOf(root, kExtendedNs, &found);
    if (!found) prefix = prefixOf(root, kExtendedNsStrict, &found);
    p.company = textOf(findChild(root, prefix + "Company"));
  }
  return p;
}

void writeProperties(Package& package, const SummaryProperties& p) {
  XmlPart& core = ensurePart(package, packagePart(package, {kCoreRel}), "docProps/core.xml",
                             "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/"
                             "core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"/>",
                             "application/vnd.openxmlformats-package.core-properties+xml", kCoreRel);
  const std::string dc = ensurePrefix(core, kDcNs, "dc");
  setText(core, core.root(), dc + "title", p.title);
  setText(core, core.root(), dc + "subject", p.subject);
  setText(core, core.root(), dc + "creator", p.author);

  XmlPart& app = ensurePart(package, packagePart(package, {kExtendedRel, kExtendedRelStrict}), "docProps/app.xml",
                            "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                            "extended-properties\"/>",
                            "application/vnd.openxmlformats-officedocument.extended-properties+xml", kExtendedRel);
  bool found = false;
  std::string prefix = prefixOf(app.root(), kExtendedNs, &found);
  if (!found) prefix = prefixOf(app.root(), kExtendedNsStrict, &found);
  if (!found) prefix = ensurePrefix(app, kExtendedNs, "ep");
  setText(app, app.root(), prefix + "Company", p.company);
}

}  // namespace vm::word::docx
