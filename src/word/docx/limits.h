#pragma once
// What the docx back end reads at most. Each limit lies far above real documents (the largest
// Word writes is a few hundred MB; the deepest real markup nests a few dozen elements) and
// well below what would exhaust a desktop's memory or time: a document beyond one is refused
// with TooLarge or TooDeep instead of being read.

#include <cstddef>
#include <cstdint>

namespace vm::word::docx::limits {

inline constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// The .docx file itself.
inline constexpr std::uint64_t kFileSize = 1024 * kMiB;
// One part inflated (a 50 MB file of text holds a main part of about 225 MB of XML).
inline constexpr std::uint64_t kPartSize = 512 * kMiB;
// All parts of a package inflated together.
inline constexpr std::uint64_t kPackageSize = 1024 * kMiB;
// Element nesting in a part: bounds every walk up a node's ancestors.
inline constexpr std::size_t kDepth = 1000;
// A picture file put into a document.
inline constexpr std::uint64_t kPictureSize = 64 * kMiB;

}  // namespace vm::word::docx::limits
