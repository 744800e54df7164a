#pragma once
// Version strings ("2.1.13") as the main program and the updater read them.
#include <string_view>

namespace halvex {

// The main program is strict where the updater is lenient: it needs a digit in a version, and it
// keeps far larger components apart.
enum class VersionRules { kMainProgram, kUpdater };

inline constexpr size_t kMaxVersionLength = 32;

// 1 to 32 characters, each a digit or "."; under the main program's rules at least one digit.
bool IsVersionString(std::string_view s, VersionRules rules = VersionRules::kMainProgram);

// -1 when `a` is older than `b`, 1 when newer, 0 when equal. Components are separated by "." and
// a missing one counts as 0 (2.1 equals 2.1.0, 2.10 is newer than 2.9); other characters inside a
// component are skipped. The updater clamps each component at 4294967295; the main program keeps
// them up to 18446744073709551615 and saturates there.
int CompareVersions(std::string_view a, std::string_view b, VersionRules rules = VersionRules::kMainProgram);

}  // namespace halvex
