#pragma once
// One picture in, one encoded picture out, synchronously. The worker thread that owns an encoder is
// the only thread that calls it.
#include <cstdint>
#include <string>

#include "core/encoded_packet.h"
#include "core/picture.h"
#include "core/video_codec.h"

namespace halvex {

// The device an encoder works on (Windows: the capture ID3D11Device) is given to its constructor;
// Initialize, EncodeFrame and the last Shutdown run on the one thread that owns the encoder.
class IEncoder {
 public:
  virtual ~IEncoder() = default;

  // Opens a constant-bit-rate stream: no B-frames, parameter sets (AV1: sequence header) in band on
  // keyframes, and where the encoder keeps a keyframe period of its own, the same 2 × fps pictures
  // the caller's schedule forces. fps and kbps below 1 are used as 1. On failure everything
  // acquired is released, a line is logged and false is returned.
  virtual bool Initialize(int width, int height, int fps, int kbps, VideoCodec codec) = 0;

  // Clears `bytes` and fills it with the whole encoded picture of `surface`, a picture of the
  // configured size (on Windows a texture on the encoder's device). H.264/HEVC come out as
  // Annex-B, AV1 as low-overhead OBUs. `forceKeyframe` makes it an IDR with parameter sets; which
  // pictures are forced is the caller's schedule (KeyframeSchedule). Exactly one output picture
  // per call; false when nothing was produced.
  virtual bool EncodeFrame(const Picture& surface, PacketBytes& bytes, bool& isKeyframe,
                           bool forceKeyframe) = 0;

  // Releases the session. Safe to call repeatedly.
  virtual void Shutdown() = 0;

  // What log lines call this encoder: NVENC on Windows; a backend that encodes otherwise names
  // what really runs (for example "libx264").
  virtual std::string MechanismName() const { return "NVENC"; }

  // Software encoders that share the CPU with the game: the worker watches whether they keep up
  // and asks them to go faster. Hardware encoders answer false and are left as they are.
  virtual bool AdaptsToLoad() const { return false; }
  // Whether a faster (lower quality) setting is left to switch to.
  virtual bool CanSpeedUp() const { return false; }
  // Reopens with the next faster setting, keeping size, rates and codec; the next picture is a
  // keyframe. False when nothing could be opened (the encoder is closed then).
  virtual bool SpeedUp() { return false; }
  // Reopens at `fps` pictures per second with the same size, bit rate, codec and speed setting;
  // the encoder's own keyframe period follows the new rate. False as SpeedUp.
  virtual bool ChangeFrameRate(int fps) { return false; }
  // The speed setting in force, as log lines name it ("superfast"); empty where there is none.
  virtual std::string SpeedSetting() const { return {}; }

  // Short forms: H.264, and no forced keyframe.
  bool Initialize(int width, int height, int fps, int kbps) {
    return Initialize(width, height, fps, kbps, VideoCodec::H264);
  }
  bool EncodeFrame(const Picture& surface, PacketBytes& bytes, bool& isKeyframe) {
    return EncodeFrame(surface, bytes, isKeyframe, false);
  }
};

}  // namespace halvex
