#include "core/log.h"

#include <atomic>

#include "core/console.h"

namespace halvex::log {

namespace {
std::mutex g_mutex;  // serialises output and the capture chain
Capture* g_capture = nullptr;
}  // namespace

void InitConsole() { console::Init(); }

void Line(std::string_view text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  bool print = true;
  if (g_capture) {
    g_capture->Add(text);
    print = !g_capture->silent_;
  }
  if (print) console::WriteLine(text);
}

void Warning(std::string_view text) { Line(std::string("AVISO: ").append(text)); }
void Error(std::string_view text) { Line(std::string("ERROR: ").append(text)); }

Capture::Capture(bool silent) : silent_(silent) {
  std::lock_guard<std::mutex> lock(g_mutex);
  previous_ = g_capture;
  g_capture = this;
}

Capture::~Capture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture = previous_;
}

void Capture::Add(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.emplace_back(text);
}

std::vector<std::string> Capture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool Capture::Contains(std::string_view fragment) const { return Count(fragment) > 0; }

size_t Capture::Count(std::string_view fragment) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const auto& l : lines_)
    if (l.find(fragment) != std::string::npos) ++n;
  return n;
}

void Capture::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

}  // namespace halvex::log
