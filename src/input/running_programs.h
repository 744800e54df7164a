#pragma once
// The programs with a visible window, offered by the excluded-programs menu so that the user can
// pick one instead of browsing for its executable.
#include <string>
#include <vector>

#include "input/window_system.h"

namespace halvex {

struct RunningProgram {
  std::string executableName;  // stored form: lower-case file name
  std::string title;           // the first window found of that program
  friend bool operator==(const RunningProgram&, const RunningProgram&) = default;
};

inline constexpr const char* kNoRunningProgramsText =
    "No se encontraron programas activos con ventana visible.";

// Visible, unowned, non-tool top-level windows of other processes that have a title and a valid
// executable name; one entry per executable, sorted by name and then by title.
std::vector<RunningProgram> ListRunningPrograms(IWindowSystem& windows);

}  // namespace halvex
