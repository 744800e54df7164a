// halvex-pack: builds Halvex.pak from PNG images.
//   halvex-pack SALIDA.pak ENTRADA...   (each input a folder of PNG files, or one PNG file)
#include <string>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "pack_sources.h"

namespace {

int Run(const std::vector<std::string>& args) {
  using namespace halvex;
  if (args.size() < 3) {
    log::Line("uso: halvex-pack SALIDA.pak CARPETA_O_PNG...");
    return 2;
  }
  auto toPath = [](const std::string& s) { return std::filesystem::path(std::u8string(s.begin(), s.end())); };
  std::vector<std::filesystem::path> inputs;
  for (size_t i = 2; i < args.size(); ++i) inputs.push_back(toPath(args[i]));

  size_t count = 0;
  std::string error;
  if (!tools::BuildPackFile(inputs, toPath(args[1]), count, error)) {
    log::Error(error);
    return 1;
  }
  log::Line(args[1] + ": " + std::to_string(count) + " recursos");
  return 0;
}

}  // namespace

// Entry points differ only in how the arguments arrive: UTF-16 on Windows, bytes elsewhere.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  halvex::log::InitConsole();
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(halvex::text::WideToUtf8(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) {
  halvex::log::InitConsole();
  return Run(std::vector<std::string>(argv, argv + argc));
}
#endif
