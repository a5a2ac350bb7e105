#pragma once
// Track Changes: whether a package records changes, and what a recorded change is signed with.

#include <pugixml.hpp>
#include <string>

namespace vm::word::docx {

class Package;

// Whether the settings part of the main part (found through its relationships) turns Track
// Changes on: a w:trackRevisions that is not w:val="false"/"0"/"off". No settings part: off.
bool tracksRevisions(Package& package);

// The largest numeric w:id in the tree (0 when none): revisions get ids above it.
long maxRevisionId(pugi::xml_node root, const std::string& idAttribute);

// Now in UTC as w:date writes it, to the second: 2026-12-07T02:00:00Z.
std::string utcNow();

}  // namespace vm::word::docx
