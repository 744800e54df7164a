#pragma once
// Writes the layout that ResourcePack reads; used by the pack builder tool.
#include <cstdint>
#include <string>
#include <vector>

namespace halvex {

struct PackEntry {
  std::string name;  // 8-bit bytes, exactly as the menus ask for them
  std::vector<uint8_t> data;
};

// Lays the entries out sorted by name (byte order), so the same images always give the same file.
// Refuses duplicate names and counts or lengths the layout cannot hold; `error` then says why.
bool WritePack(std::vector<PackEntry> entries, std::vector<uint8_t>& out, std::string* error = nullptr);

}  // namespace halvex
