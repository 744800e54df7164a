#pragma once
// Which libavcodec encoders may produce a codec's stream, in order of preference, and the settings
// that give each of them the stream shape the clip pipeline relies on: constant bit rate, keyframe
// every 2 × fps pictures, no B-frames, no look-ahead, parameter sets in band on every keyframe.
#include <string>
#include <vector>

#include "encode/encoder.h"

struct AVCodecContext;
struct AVDictionary;

namespace halvex {

enum class EncoderFamily { Nvenc, Vaapi, Software };

struct EncoderCandidate {
  std::string name;  // libavcodec encoder name
  EncoderFamily family;
};

// Hardware first (NVENC, then VAAPI), software last.
std::vector<EncoderCandidate> EncoderCandidates(VideoCodec codec);
// The candidate list entry for `name`, or a software entry when it is not a known hardware name.
EncoderCandidate CandidateNamed(const std::string& name);

// The speed settings a software encoder steps through when it cannot keep up, from the one it
// opens with to the fastest; empty for encoders that have no such steps.
std::vector<std::string> SpeedSettings(const EncoderCandidate& candidate);

// Fills `context` (size and pixel format already set) and `options` for one candidate.
// fps and kbps are at least 1; `speedStep` indexes SpeedSettings (past the end: the fastest).
void ApplyStreamSettings(const EncoderCandidate& candidate, int fps, int kbps,
                         AVCodecContext* context, AVDictionary** options, size_t speedStep = 0);

}  // namespace halvex
