#pragma once
// Small helpers shared by the readers and writers.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "settings/profile_store.h"

namespace halvex::settings {

inline bool IsOneOf(int32_t value, std::initializer_list<int32_t> accepted) {
  return std::find(accepted.begin(), accepted.end(), value) != accepted.end();
}

// Integers are written with "%d", booleans as "1" or "0".
inline bool WriteInt(const ProfileStore& store, std::string_view section, std::string_view key,
                     int32_t value) {
  return store.WriteString(section, key, std::to_string(value));
}

inline bool WriteBool(const ProfileStore& store, std::string_view section, std::string_view key,
                      bool value) {
  return store.WriteString(section, key, value ? "1" : "0");
}

}  // namespace halvex::settings
