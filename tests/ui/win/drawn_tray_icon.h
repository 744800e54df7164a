#pragma once
// Test programs carry no icon resource 101: they hand the tray the program's picture drawn into
// an icon instead.
#include <windows.h>

#include <vector>

#include "ui/tray_icon_image.h"

namespace halvex::test {

inline HICON DrawnTrayIcon() {
  const ArgbImage image = MakeTrayIconImage(32);
  // 0xAARRGGBB words are B, G, R, A bytes in memory: a 32-bit bitmap as it stands.
  HBITMAP color = CreateBitmap(image.width, image.height, 1, 32, image.pixels.data());
  const std::vector<BYTE> clear(size_t(image.height) * ((image.width + 15) / 16) * 2, 0);
  HBITMAP mask = CreateBitmap(image.width, image.height, 1, 1, clear.data());
  ICONINFO info{TRUE, 0, 0, mask, color};
  HICON icon = (color && mask) ? CreateIconIndirect(&info) : nullptr;
  if (color) DeleteObject(color);
  if (mask) DeleteObject(mask);
  return icon;
}

}  // namespace halvex::test
