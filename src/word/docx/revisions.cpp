#include "word/docx/revisions.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <ctime>
#include <string_view>
#include <vector>

#include "word/document.h"
#include "word/docx/package.h"
#include "word/docx/wml.h"

namespace vm::word {

std::string defaultRevisionAuthor() {
  std::vector<char> buf(16384);
  struct passwd pw {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found) {
    std::string_view gecos = found->pw_gecos ? found->pw_gecos : "";
    std::string full(gecos.substr(0, gecos.find(',')));
    if (!full.empty()) return full;
    if (found->pw_name && *found->pw_name) return found->pw_name;
  }
  if (const char* user = ::getenv("USER"); user && *user) return user;
  return "Vellumark";
}

}  // namespace vm::word

namespace vm::word::docx {

bool tracksRevisions(Package& package) {
  const std::string& main = package.mainPartName();
  for (const Relationship& r : package.relationships(main)) {
    std::string_view type = r.type;
    if (r.external || type.size() < 9 || type.substr(type.size() - 9) != "/settings") continue;
    std::string name = Package::resolveTarget(main, r.target);
    if (!package.hasPart(name)) return false;
    std::string xml = package.readPart(name);
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default)) return false;
    pugi::xml_node root = doc.document_element();
    Wml w(root);
    std::string wanted = w.name("trackRevisions");
    for (auto c = root.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element || wanted != c.name()) continue;
      std::string_view val = w.attr(c, "val").value();
      return !(val == "false" || val == "0" || val == "off");
    }
    return false;
  }
  return false;
}

long maxRevisionId(pugi::xml_node root, const std::string& idAttribute) {
  struct Walker : pugi::xml_tree_walker {
    const std::string* name;
    long best = 0;
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element) return true;
      std::string_view v = n.attribute(name->c_str()).value();
      long id = 0;
      if (!v.empty() && std::from_chars(v.data(), v.data() + v.size(), id).ec == std::errc() && id > best) best = id;
      return true;
    }
  } walker;
  walker.name = &idAttribute;
  root.traverse(walker);
  return walker.best;
}

std::string utcNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm {};
  ::gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

}  // namespace vm::word::docx
