#include "options.h"

#include <cstdio>
#include <cstdlib>

namespace halvex::demo {

namespace {

bool ParseSize(const std::string& text, int& w, int& h) {
  char x = 0;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X')) {
    return false;
  }
  // The code row needs 16 blocks of at least 24 px across.
  return w >= 16 * 24 + 32 && h >= 240 && w <= 8192 && h <= 8192;
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--no-sound") {
      o.sound = false;
    } else if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], o.width, o.height))
        return error = "tamano no valido: " + args[i] + " (ANCHOxALTO)", std::nullopt;
    } else if (a == "--tone" && hasValue) {
      char* end = nullptr;
      o.toneHz = std::strtod(args[++i].c_str(), &end);
      if (end == args[i].c_str() || *end != '\0' || o.toneHz < 20 || o.toneHz > 20000)
        return error = "frecuencia no valida: " + args[i] + " (20..20000 Hz)", std::nullopt;
    } else {
      return error = "argumento desconocido: " + a, std::nullopt;
    }
  }
  return o;
}

}  // namespace halvex::demo
