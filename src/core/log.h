#pragma once
// The program's one logger. Every line goes to the standard output (the wide stream on Windows);
// tests install a capture to read the lines back.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::log {

// Prepares the standard output for UTF-8 text (wide output mode on Windows). Idempotent.
void InitConsole();

// Writes one line (no trailing newline needed). Thread-safe.
void Line(std::string_view text);

// Convenience: "AVISO: " + text and "ERROR: " + text.
void Warning(std::string_view text);
void Error(std::string_view text);

// Collects every line written while it exists; lines still reach the standard output unless
// `silent` is set. Captures nest: the innermost one receives the lines.
class Capture {
 public:
  explicit Capture(bool silent = true);
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::vector<std::string> Lines() const;
  // True when some line contains `fragment`.
  bool Contains(std::string_view fragment) const;
  // Number of lines that contain `fragment`.
  size_t Count(std::string_view fragment) const;
  void Clear();

 private:
  friend void Line(std::string_view text);
  void Add(std::string_view text);

  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  bool silent_;
  Capture* previous_;
};

}  // namespace halvex::log
