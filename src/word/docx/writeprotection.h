#pragma once
// The write password of a package: w:writeProtection in the settings part. Read in every form
// Word versions write (the transitional crypt* attributes with any of their hash algorithms,
// over the password or over Word 2007's legacy key, and the algorithmName/hashValue form);
// written as a SHA-512 hash of a random salt and the password, spun 100,000 times, in the
// transitional attributes.

#include <string>

namespace vm::word::docx {

class Package;

bool hasWriteProtection(Package& package);
bool writePasswordMatches(Package& package, const std::string& password);
// Sets the write password; an empty one removes it (the settings part is created when missing).
void setWritePassword(Package& package, const std::string& password);

}  // namespace vm::word::docx
