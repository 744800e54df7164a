#include "clipfile/clip_interleave.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace halvex {

namespace {

struct Entry {
  int64_t timestampNs;
  int source;  // -1 video, else index into the audio inputs
  size_t index;
};

}  // namespace

ClipWriteResult WriteClipPackets(Mp4Muxer& muxer, const std::vector<EncodedPacket>& video,
                                 const std::vector<ClipAudioInput>& audio, int32_t frameRate) {
  ClipWriteResult result;
  result.videoPackets = video.size();
  result.audioInSpan.assign(audio.size(), 0);
  if (video.empty()) return result;

  const int64_t start = video.front().timestampNs;
  const int64_t end = video.back().timestampNs;
  const int64_t fps = frameRate < 1 ? 60 : frameRate;

  std::vector<Entry> entries;
  size_t total = video.size();
  for (const auto& a : audio) total += a.packets ? a.packets->size() : 0;
  entries.reserve(total);
  for (size_t i = 0; i < video.size(); ++i) entries.push_back({video[i].timestampNs, -1, i});
  for (size_t s = 0; s < audio.size(); ++s) {
    if (!audio[s].packets) continue;
    for (size_t i = 0; i < audio[s].packets->size(); ++i)
      entries.push_back({(*audio[s].packets)[i].timestampNs, static_cast<int>(s), i});
  }
  // Equal time stamps keep video first, then the tracks in the order given.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.timestampNs < b.timestampNs;
  });

  bool ok = true;
  for (const Entry& e : entries) {
    if (e.source < 0) {
      const EncodedPacket& p = video[e.index];
      const int64_t next = e.index + 1 < video.size() ? video[e.index + 1].timestampNs
                                                      : p.timestampNs + 1000000000 / fps;
      int64_t pts = (p.timestampNs - start) / 1000;
      if (pts < 1) pts = 0;
      const int64_t duration = std::max<int64_t>((next - p.timestampNs) / 1000, 1);
      if (!muxer.WriteVideoPacketAt(p.data(), p.size(), p.keyframe, pts, duration)) {
        ok = false;
        break;
      }
      continue;
    }
    const ClipAudioInput& in = audio[e.source];
    const EncodedPacket& p = (*in.packets)[e.index];
    if (in.track < 0 || in.sampleRate < 1 || p.timestampNs < start || p.timestampNs > end)
      continue;
    int64_t pts = av_rescale_rnd(p.timestampNs - start, in.sampleRate, 1000000000,
                                 AV_ROUND_NEAR_INF);
    if (pts < 1) pts = 0;
    const int64_t duration = p.sampleCount < 1 ? 1024 : p.sampleCount;
    if (!muxer.WriteAudioPacketAt(in.track, p.data(), p.size(), pts, duration)) {
      ok = false;
      break;
    }
  }

  for (size_t s = 0; s < audio.size(); ++s) {
    if (!audio[s].packets) continue;
    for (const auto& p : *audio[s].packets)
      if (p.timestampNs >= start && p.timestampNs <= end) ++result.audioInSpan[s];
  }
  result.ok = ok;
  return result;
}

}  // namespace halvex
