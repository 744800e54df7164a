#include "audio/audio_histories.h"

namespace halvex {

PacketHistory& AudioHistories::Of(AudioSource source) {
  switch (source) {
    case AudioSource::Desktop: return desktop;
    case AudioSource::Microphone: return microphone;
    case AudioSource::Game: return game;
    case AudioSource::Mix: return mix;
    case AudioSource::AppMix: break;
  }
  return appMix;
}

const PacketHistory& AudioHistories::Of(AudioSource source) const {
  return const_cast<AudioHistories*>(this)->Of(source);
}

void AudioHistories::SetCapacity(double seconds) {
  for (PacketHistory* h : {&desktop, &microphone, &game, &mix, &appMix}) h->SetCapacity(seconds);
}

}  // namespace halvex
