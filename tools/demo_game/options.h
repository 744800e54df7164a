#pragma once
// Command line of the demo game.
#include <optional>
#include <string>
#include <vector>

namespace halvex::demo {

struct Options {
  int width = 1280;
  int height = 720;
  bool sound = true;
  double toneHz = 440.0;
};

// nullopt and a message in `error` for an unknown or malformed argument.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace halvex::demo
