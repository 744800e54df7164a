#pragma once
// The five clip tracks of sound and the histories that keep their encoded packets.
#include "core/packet_history.h"

namespace halvex {

enum class AudioSource { AppMix, Mix, Desktop, Microphone, Game };

// The five audio histories, owned by the recorder and filled by the audio pipeline.
struct AudioHistories {
  explicit AudioHistories(double capacitySeconds)
      : desktop(capacitySeconds),
        microphone(capacitySeconds),
        game(capacitySeconds),
        mix(capacitySeconds),
        appMix(capacitySeconds) {}

  PacketHistory& Of(AudioSource source);
  const PacketHistory& Of(AudioSource source) const;
  void SetCapacity(double seconds);

  PacketHistory desktop;
  PacketHistory microphone;
  PacketHistory game;
  PacketHistory mix;
  PacketHistory appMix;
};

}  // namespace halvex
