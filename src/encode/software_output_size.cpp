#include "encode/software_output_size.h"

#include <algorithm>
#include <cstdint>

namespace halvex {
namespace {

int EvenAtLeastTwo(int64_t value) { return static_cast<int>(std::max<int64_t>(2, value & ~int64_t{1})); }

}  // namespace

VideoSize SoftwareStartSize(int sourceWidth, int sourceHeight, VideoSize limit) {
  if (sourceWidth < 1 || sourceHeight < 1) return {};
  if (limit.width < 1 || limit.height < 1) return {sourceWidth, sourceHeight};
  if (sourceWidth <= limit.width && sourceHeight <= limit.height) return {sourceWidth, sourceHeight};
  const int64_t w = sourceWidth, h = sourceHeight;
  // Whichever side bounds the scale decides it; the other follows the source's shape.
  if (w * limit.height >= h * limit.width) {
    return {EvenAtLeastTwo(limit.width), EvenAtLeastTwo(h * limit.width / w)};
  }
  return {EvenAtLeastTwo(w * limit.height / h), EvenAtLeastTwo(limit.height)};
}

}  // namespace halvex
