#include "app/program_arguments.h"

#include <gtest/gtest.h>

#include "update/installed_version.h"

namespace halvex {
namespace {

TEST(ProgramArguments, OnlyNoArgumentsStartsTheRecorder) {
  struct Case {
    std::vector<std::string> args;
    ProgramRequest request;
    std::string unknown;
  };
  const Case cases[] = {
      {{}, ProgramRequest::Run, ""},
      {{"--help"}, ProgramRequest::Help, ""},
      {{"-h"}, ProgramRequest::Help, ""},
      {{"--version"}, ProgramRequest::Version, ""},
      {{"-V"}, ProgramRequest::Version, ""},
      {{"--version", "--help"}, ProgramRequest::Help, ""},
      {{"--help", "--version"}, ProgramRequest::Help, ""},
      {{"--hepl"}, ProgramRequest::Unknown, "--hepl"},
      {{"--help", "extra"}, ProgramRequest::Unknown, "extra"},
      {{""}, ProgramRequest::Unknown, ""},
  };
  for (const Case& c : cases) {
    const ProgramArguments parsed = ParseProgramArguments(c.args);
    EXPECT_EQ(parsed.request, c.request) << (c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(parsed.unknown, c.unknown);
  }
}

TEST(ProgramArguments, HelpSaysWhatWhereAndWhichKeys) {
  HelpFacts f;
  f.settingsFile = "/home/ana/.config/Halvex.ini";
  f.clipsFolder = "/home/ana/Videos/Halvex";
  f.durationSeconds = 45;
  f.saveShortcut = "Ctrl + F9";
  f.menuShortcut = "Ctrl + Shift + F10";
  f.menuNote = "sin menus";
  const std::string help = HelpText(f);
  for (const std::string& part :
       {std::string("Halvex ") + std::string(kBuiltInVersion), std::string("45 s"),
        f.settingsFile, f.clipsFolder, std::string("  Ctrl + F9           guardar un clip"),
        std::string("  Ctrl + Shift + F10  abrir los menus"), std::string("(sin menus)"),
        std::string("--help"), std::string("--version")}) {
    EXPECT_NE(help.find(part), std::string::npos) << part << "\n" << help;
  }
  f.clipsFolder.clear();
  EXPECT_NE(HelpText(f).find("Clips:   la carpeta actual"), std::string::npos);
  EXPECT_EQ(VersionText(), "Halvex " + std::string(kBuiltInVersion));
}

}  // namespace
}  // namespace halvex
