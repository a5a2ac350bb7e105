#include "word/docx/writeprotection.h"

#include <charconv>
#include <cstdio>

#include "word/docx/package.h"
#include "word/docx/wml.h"
#include "word/error.h"
#include "word/passwordhash.h"

namespace vm::word::docx {

namespace {

constexpr const char* kSettingsRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings";
constexpr const char* kSettingsRelStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships/settings";
constexpr std::uint32_t kSpinCount = 100000;

std::string settingsPart(Package& package) {
  const std::string& main = package.mainPartName();
  for (const Relationship& r : package.relationships(main)) {
    if (r.external || (r.type != kSettingsRel && r.type != kSettingsRelStrict)) continue;
    std::string name = Package::resolveTarget(main, r.target);
    if (package.hasPart(name)) return name;
  }
  return {};
}

pugi::xml_node protectionElement(Package& package) {
  std::string name = settingsPart(package);
  if (name.empty()) return {};
  XmlPart& part = package.xmlPart(name);
  Wml w(part.root());
  return part.root().child(w.name("writeProtection").c_str());
}

std::uint32_t number(std::string_view s, std::uint32_t fallback) {
  std::uint32_t v = fallback;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// The stored hash, salt, digest and spin count; digest empty when the form is unknown.
struct Stored {
  std::string hash, salt, digest;
  std::uint32_t spin = 0;
  bool present = false;
};

Stored stored(pugi::xml_node e, const Wml& w) {
  Stored s;
  if (!e) return s;
  std::string_view hash = w.attr(e, "hash").value(), modern = w.attr(e, "hashValue").value();
  if (hash.empty() && modern.empty()) return s;  // no password: only a recommendation
  s.present = true;
  if (!modern.empty()) {
    s.hash = base64Decode(modern).value_or("");
    s.salt = base64Decode(w.attr(e, "saltValue").value()).value_or("");
    s.spin = number(w.attr(e, "spinCount").value(), 0);
    s.digest = digestForName(w.attr(e, "algorithmName").value()).value_or("");
  } else {
    s.hash = base64Decode(hash).value_or("");
    s.salt = base64Decode(w.attr(e, "salt").value()).value_or("");
    s.spin = number(w.attr(e, "cryptSpinCount").value(), 0);
    s.digest = digestForSid(static_cast<int>(number(w.attr(e, "cryptAlgorithmSid").value(), 4))).value_or("");
  }
  return s;
}

}  // namespace

bool hasWriteProtection(Package& package) {
  pugi::xml_node e = protectionElement(package);
  return e && stored(e, Wml(e.parent())).present;
}

bool writePasswordMatches(Package& package, const std::string& password) {
  pugi::xml_node e = protectionElement(package);
  if (!e) return true;
  const Stored s = stored(e, Wml(e.parent()));
  if (!s.present) return true;
  if (s.digest.empty())
    throw EngineError(ErrorCode::Unsupported, package.mainPartName() + ": a write password hashed in an unknown way");
  if (spinHash(s.digest, s.salt, utf16le(password), s.spin) == s.hash) return true;
  // Word 2007 and its followers in the same attributes hash the legacy key instead: its bytes
  // reversed, as upper-case hex text in UTF-16LE (written with and without leading zeros).
  const std::uint32_t key = legacyPasswordKey(password);
  const unsigned char b[4] = {static_cast<unsigned char>(key), static_cast<unsigned char>(key >> 8),
                              static_cast<unsigned char>(key >> 16), static_cast<unsigned char>(key >> 24)};
  char padded[9], bare[9];
  std::snprintf(padded, sizeof padded, "%02X%02X%02X%02X", b[0], b[1], b[2], b[3]);
  std::snprintf(bare, sizeof bare, "%X%X%X%X", b[0], b[1], b[2], b[3]);
  for (const char* text : {padded, bare})
    if (spinHash(s.digest, s.salt, utf16le(text), s.spin) == s.hash) return true;
  return false;
}

void setWritePassword(Package& package, const std::string& password) {
  std::string name = settingsPart(package);
  if (name.empty()) {
    if (password.empty()) return;
    const std::string& main = package.mainPartName();
    name = main.substr(0, main.rfind('/') + 1) + "settings.xml";
    package.addXmlPart(name, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                             "<w:settings xmlns:w=\"" + std::string(kWmlNamespace) + "\"/>");
    package.setOverrideContentType(name, "application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml");
    package.addRelationship(main, kSettingsRel, Package::relativeTarget(main, name));
  }
  XmlPart& part = package.xmlPart(name);
  pugi::xml_node root = part.root();
  Wml w(root);
  const std::string tag = w.name("writeProtection");
  bool changed = false;
  while (pugi::xml_node old = root.child(tag.c_str())) {
    root.remove_child(old);
    changed = true;
  }
  if (!password.empty()) {
    const std::string salt = randomBytes(16);
    const std::string hash = spinHash("SHA512", salt, utf16le(password), kSpinCount);
    // First in the settings, where the schema's sequence puts it.
    pugi::xml_node e = root.prepend_child(tag.c_str());
    e.append_attribute(w.attrName("cryptProviderType").c_str()) = "rsaAES";
    e.append_attribute(w.attrName("cryptAlgorithmClass").c_str()) = "hash";
    e.append_attribute(w.attrName("cryptAlgorithmType").c_str()) = "typeAny";
    e.append_attribute(w.attrName("cryptAlgorithmSid").c_str()) = "14";
    e.append_attribute(w.attrName("cryptSpinCount").c_str()) = std::to_string(kSpinCount).c_str();
    e.append_attribute(w.attrName("hash").c_str()) = base64Encode(hash).c_str();
    e.append_attribute(w.attrName("salt").c_str()) = base64Encode(salt).c_str();
    changed = true;
  }
  if (changed) part.markDirty();
}

}  // namespace vm::word::docx
