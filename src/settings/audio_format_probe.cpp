#include "settings/audio_settings.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace halvex::settings {

bool AudioFormatUsable(AudioFormat format) {
  switch (format) {
    case AudioFormat::AacLc:
      return avcodec_find_encoder(AV_CODEC_ID_AAC) != nullptr;
    case AudioFormat::Alac:
      return avcodec_find_encoder(AV_CODEC_ID_ALAC) != nullptr;
    case AudioFormat::Opus:
      return avcodec_find_encoder_by_name("libopus") != nullptr ||
             avcodec_find_encoder(AV_CODEC_ID_OPUS) != nullptr;
  }
  return false;
}

}  // namespace halvex::settings
