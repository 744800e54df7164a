#pragma once
// Reading string members of the version manifest ("version.json"). The manifest is not parsed as
// a whole: a value is found by its key, and a member whose value is not a string counts as absent.
#include <string>
#include <string_view>

namespace halvex {

// The main program's lookup: the first "key" in the body, then ":", white space and a quoted
// string, in which a backslash takes the next character literally. Trimmed; empty when absent.
std::string FindManifestValue(std::string_view body, std::string_view key);

// The updater's lookup: the same search, but only the escapes \" \/ \\ \n \r \t are understood
// and any other makes the value absent (empty). Taken as found, not trimmed.
std::string FindManifestValueForUpdater(std::string_view body, std::string_view key);

}  // namespace halvex
