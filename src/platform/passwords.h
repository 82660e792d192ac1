// The fixed passwords that key the program's database files.
#pragma once

namespace kvr {
// Every database of this program (template, base, member, old-format and compacted copies).
inline constexpr const char* kProgramPassword = "RXHDB5081";
// Databases of the previous program version.
inline constexpr const char* kPreviousVersionPassword = "TOLWARF";
} // namespace kvr
