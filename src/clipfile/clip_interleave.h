#pragma once
// Writes a clip's snapshots through an open muxer in time order: video and audio interleaved by
// capture time stamp, audio outside the pictures' span dropped, each packet placed on the clip's
// timeline (microseconds for video, samples for audio).
#include <cstdint>
#include <vector>

#include "clipfile/mp4_muxer.h"
#include "core/encoded_packet.h"

namespace halvex {

struct ClipAudioInput {
  const std::vector<EncodedPacket>* packets = nullptr;
  int track = -1;  // muxer track index; negative: not written
  int32_t sampleRate = 0;
};

struct ClipWriteResult {
  bool ok = false;  // every write succeeded
  size_t videoPackets = 0;
  std::vector<size_t> audioInSpan;  // per input, packets whose time stamps lie within the clip
};

// `frameRate` below 1 means variable frame rate (the last picture then lasts 1/60 s).
ClipWriteResult WriteClipPackets(Mp4Muxer& muxer, const std::vector<EncodedPacket>& video,
                                 const std::vector<ClipAudioInput>& audio, int32_t frameRate);

}  // namespace halvex
