#pragma once
// What a WASAPI mix format means for the capture code, and the conversion of one packet of it to
// interleaved 32-bit float. Kept free of COM so it can be checked on its own.
#include <windows.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace halvex::wasapi {

struct MixFormat {
  int rate = 0;
  int channels = 0;
  bool isFloat = false;  // IEEE float, plain or extensible
  int containerBits = 0;  // bits per sample in the buffer (stride)
  int blockAlign = 0;     // bytes per frame
  // A PCM layout the converter cannot read exactly (read as 16-bit, as the device asked).
  bool unexpected = false;
};

MixFormat DescribeMixFormat(const WAVEFORMATEX& format);

// "float32", "pcm16", "pcm24", "pcm32".
std::string FormatLabel(const MixFormat& format);

// Converts `frames` frames of `data` into `out` (frames × channels floats). `silent` (the
// packet's AUDCLNT_BUFFERFLAGS_SILENT) or a null `data` gives zeros.
void ConvertPacket(const MixFormat& format, const BYTE* data, size_t frames, bool silent,
                   float* out);

}  // namespace halvex::wasapi
