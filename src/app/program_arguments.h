#pragma once
// What the command line asks of the program: run the recorder, or answer and end.
#include <string>
#include <vector>

namespace halvex {

enum class ProgramRequest { Run, Help, Version, Unknown };

struct ProgramArguments {
  ProgramRequest request = ProgramRequest::Run;
  std::string unknown;  // the first argument that is not understood
};

// `args` without the program's own name. Anything but --help/-h or --version/-V refuses to run:
// a typo must not start a recorder in the background.
ProgramArguments ParseProgramArguments(const std::vector<std::string>& args);

// What --help tells about this installation.
struct HelpFacts {
  std::string settingsFile;
  std::string clipsFolder;  // empty: the current directory
  int durationSeconds = 30;
  std::string saveShortcut;
  std::string menuShortcut;
  std::string menuNote;  // where the settings menus are not there yet, what to do instead
};

std::string HelpText(const HelpFacts& facts);
// "Halvex <version>".
std::string VersionText();

}  // namespace halvex
