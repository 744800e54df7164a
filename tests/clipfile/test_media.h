#pragma once
// Real media for the clip-file tests: pictures encoded by libavcodec, tones encoded by the
// program's own audio encoder, and a reader that looks at the written files with libavformat.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/audio_encoder.h"
#include "core/encoded_packet.h"

namespace halvex::testmedia {

struct Picture {
  std::vector<uint8_t> bytes;  // Annex-B or OBUs, parameter sets in band on keyframes
  bool keyframe = false;
};

struct PictureRequest {
  const char* encoder = "libx264";
  int width = 160;
  int height = 90;
  int fps = 30;
  int frames = 30;
  int gop = 15;
  bool noise = false;  // incompressible pictures (large clips, fast)
  int qp = -1;         // constant quantiser when >= 0
};

bool HasEncoder(const char* name);
std::vector<Picture> EncodePictures(const PictureRequest& request);

// The small fixed H.264 stream kept under tests/data (160x90, 30 pictures at 30 fps, keyframes at
// 0 and 15): lets the muxer tests run where no H.264 encoder exists.
std::filesystem::path FixedH264Path();
std::vector<Picture> LoadPictures(const std::filesystem::path& file);
bool SavePictures(const std::filesystem::path& file, const std::vector<Picture>& pictures);

// Video packets with capture time stamps startNs + i × 10^9 / fps.
std::vector<EncodedPacket> ToVideoPackets(const std::vector<Picture>& pictures, int64_t startNs,
                                          int fps);

// A sine tone through `encoder` (already initialised), cut into packets stamped from startNs at
// the encoder's output rate.
std::vector<EncodedPacket> EncodeTone(AacEncoder& encoder, int inputRate, int channels,
                                      double seconds, int64_t startNs, double hz = 440.0);

struct StreamInfo {
  int type = -1;  // AVMediaType
  int codecId = 0;
  std::string title;
  bool isDefault = false;
  int timeBaseNum = 0;
  int timeBaseDen = 1;
  int64_t packets = 0;
  int64_t firstPts = 0;
  int64_t lastPts = 0;
  int64_t lastDuration = 0;
  int sampleRate = 0;
  int width = 0;
  int height = 0;
  size_t extradataSize = 0;
  bool dtsIncreasing = true;
  std::vector<int64_t> pts;  // every packet, in file order
};

struct FileInfo {
  bool opened = false;
  std::string formatName;
  int64_t durationUs = 0;
  std::vector<StreamInfo> streams;
};

FileInfo Probe(const std::filesystem::path& file);

// Decodes the first video stream start to end. Returns decoded pictures, -1 on a decode error.
int64_t DecodeAllVideo(const std::filesystem::path& file);

// A fresh empty folder for one test.
std::filesystem::path FreshDir(const std::string& name);

}  // namespace halvex::testmedia
