#include "test_media.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>

#include "core/ffmpeg_handles.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace halvex::testmedia {

namespace fs = std::filesystem;

bool HasEncoder(const char* name) { return avcodec_find_encoder_by_name(name) != nullptr; }

namespace {

void FillPicture(AVFrame* f, int index, bool noise, std::mt19937& rng) {
  for (int plane = 0; plane < 3; ++plane) {
    const int w = plane ? f->width / 2 : f->width;
    const int h = plane ? f->height / 2 : f->height;
    for (int y = 0; y < h; ++y) {
      uint8_t* row = f->data[plane] + y * f->linesize[plane];
      for (int x = 0; x < w; ++x) {
        if (noise)
          row[x] = static_cast<uint8_t>(rng());
        else
          row[x] = static_cast<uint8_t>(plane ? 128 + ((x + index) & 31) : (x + y + index * 3) & 0xFF);
      }
    }
  }
}

void Receive(AVCodecContext* c, std::vector<Picture>& out) {
  ff::PacketPtr pkt(av_packet_alloc());
  while (avcodec_receive_packet(c, pkt.get()) == 0) {
    out.push_back(Picture{std::vector<uint8_t>(pkt->data, pkt->data + pkt->size),
                          (pkt->flags & AV_PKT_FLAG_KEY) != 0});
    av_packet_unref(pkt.get());
  }
}

}  // namespace

std::vector<Picture> EncodePictures(const PictureRequest& r) {
  std::vector<Picture> out;
  const AVCodec* codec = avcodec_find_encoder_by_name(r.encoder);
  if (!codec) return out;
  ff::CodecContextPtr c(avcodec_alloc_context3(codec));
  c->width = r.width;
  c->height = r.height;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->time_base = AVRational{1, r.fps};
  c->framerate = AVRational{r.fps, 1};
  c->gop_size = r.gop;
  c->max_b_frames = 0;
  c->thread_count = 1;
  AVDictionary* opts = nullptr;
  const std::string name = r.encoder;
  if (name == "libx264") {
    av_dict_set(&opts, "preset", "ultrafast", 0);
    av_dict_set(&opts, "tune", "zerolatency", 0);
    if (r.qp >= 0) av_dict_set_int(&opts, "qp", r.qp, 0);
  } else if (name == "libx265") {
    av_dict_set(&opts, "preset", "ultrafast", 0);
    av_dict_set(&opts, "tune", "zerolatency", 0);
    av_dict_set(&opts, "x265-params", "log-level=error:bframes=0:pools=1", 0);
  } else if (name == "libsvtav1") {
#ifndef _WIN32
    setenv("SVT_LOG", "1", 0);  // errors only
#endif
    av_dict_set(&opts, "preset", "12", 0);
  }
  const int ret = avcodec_open2(c.get(), codec, &opts);
  av_dict_free(&opts);
  if (ret < 0) return out;

  std::mt19937 rng(1234);
  ff::FramePtr f(av_frame_alloc());
  f->format = AV_PIX_FMT_YUV420P;
  f->width = r.width;
  f->height = r.height;
  if (av_frame_get_buffer(f.get(), 0) < 0) return out;
  for (int i = 0; i < r.frames; ++i) {
    if (av_frame_make_writable(f.get()) < 0) return {};
    FillPicture(f.get(), i, r.noise, rng);
    f->pts = i;
    f->pict_type = i % r.gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(c.get(), f.get()) < 0) return {};
    Receive(c.get(), out);
  }
  avcodec_send_frame(c.get(), nullptr);
  Receive(c.get(), out);
  return out;
}

fs::path FixedH264Path() { return fs::path(HALVEX_TEST_DATA_DIR) / "clipfile" / "pictures_h264.bin"; }

std::vector<Picture> LoadPictures(const fs::path& file) {
  std::vector<Picture> out;
  std::ifstream in(file, std::ios::binary);
  unsigned char head[5];
  while (in.read(reinterpret_cast<char*>(head), 5)) {
    const uint32_t n = (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) |
                       (uint32_t{head[2]} << 8) | head[3];
    Picture p;
    p.keyframe = head[4] != 0;
    p.bytes.resize(n);
    if (!in.read(reinterpret_cast<char*>(p.bytes.data()), n)) return {};
    out.push_back(std::move(p));
  }
  return out;
}

bool SavePictures(const fs::path& file, const std::vector<Picture>& pictures) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  for (const auto& p : pictures) {
    const uint32_t n = static_cast<uint32_t>(p.bytes.size());
    const char head[5] = {static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                          static_cast<char>(n >> 8), static_cast<char>(n),
                          static_cast<char>(p.keyframe ? 1 : 0)};
    out.write(head, 5);
    out.write(reinterpret_cast<const char*>(p.bytes.data()), n);
  }
  return static_cast<bool>(out);
}

std::vector<EncodedPacket> ToVideoPackets(const std::vector<Picture>& pictures, int64_t startNs,
                                          int fps) {
  std::vector<EncodedPacket> out;
  for (size_t i = 0; i < pictures.size(); ++i) {
    PacketBytes bytes = pictures[i].bytes;
    out.push_back(MakePacket(std::move(bytes), pictures[i].keyframe,
                             startNs + static_cast<int64_t>(i) * 1000000000 / fps));
  }
  return out;
}

std::vector<EncodedPacket> EncodeTone(AacEncoder& encoder, int inputRate, int channels,
                                      double seconds, int64_t startNs, double hz) {
  std::vector<EncodedPacket> out;
  const int total = static_cast<int>(inputRate * seconds);
  const int chunk = 480;
  std::vector<float> buf(static_cast<size_t>(chunk) * channels);
  std::vector<EncodedAudioPacket> packets;
  int64_t stamped = 0;  // output samples already given a time stamp
  for (int done = 0; done < total; done += chunk) {
    const int n = std::min(chunk, total - done);
    for (int i = 0; i < n; ++i)
      for (int ch = 0; ch < channels; ++ch)
        buf[static_cast<size_t>(i) * channels + ch] =
            0.5f * static_cast<float>(std::sin(2 * 3.14159265358979323846 * hz * (done + i) / inputRate));
    packets.clear();
    if (!encoder.Encode(buf.data(), n, packets)) return {};
    for (auto& p : packets) {
      const int64_t ts = startNs + stamped * 1000000000 / encoder.OutputRate();
      stamped += p.duration;
      out.push_back(MakePacket(std::move(p.bytes), true, ts, p.duration));
    }
  }
  return out;
}

FileInfo Probe(const fs::path& file) {
  FileInfo info;
  AVFormatContext* raw = nullptr;
  const std::u8string u8 = file.u8string();
  const std::string path(reinterpret_cast<const char*>(u8.data()), u8.size());
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return info;
  ff::InputContextPtr in(raw);
  if (avformat_find_stream_info(in.get(), nullptr) < 0) return info;
  info.opened = true;
  info.formatName = in->iformat->name;
  info.durationUs = in->duration;
  std::vector<int64_t> lastDts(in->nb_streams, INT64_MIN);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    const AVStream* st = in->streams[i];
    StreamInfo s;
    s.type = st->codecpar->codec_type;
    s.codecId = st->codecpar->codec_id;
    // MP4 carries the name in the handler box.
    const AVDictionaryEntry* t = av_dict_get(st->metadata, "title", nullptr, 0);
    if (!t) t = av_dict_get(st->metadata, "handler_name", nullptr, 0);
    if (t) s.title = t->value;
    s.isDefault = (st->disposition & AV_DISPOSITION_DEFAULT) != 0;
    s.timeBaseNum = st->time_base.num;
    s.timeBaseDen = st->time_base.den;
    s.sampleRate = st->codecpar->sample_rate;
    s.width = st->codecpar->width;
    s.height = st->codecpar->height;
    s.extradataSize = static_cast<size_t>(st->codecpar->extradata_size);
    info.streams.push_back(s);
  }
  ff::PacketPtr pkt(av_packet_alloc());
  while (av_read_frame(in.get(), pkt.get()) >= 0) {
    StreamInfo& s = info.streams[pkt->stream_index];
    if (s.packets == 0) s.firstPts = pkt->pts;
    s.lastPts = pkt->pts;
    s.pts.push_back(pkt->pts);
    s.lastDuration = pkt->duration;
    if (pkt->dts != AV_NOPTS_VALUE) {
      if (pkt->dts <= lastDts[pkt->stream_index]) s.dtsIncreasing = false;
      lastDts[pkt->stream_index] = pkt->dts;
    }
    ++s.packets;
    av_packet_unref(pkt.get());
  }
  return info;
}

int64_t DecodeAllVideo(const fs::path& file) {
  AVFormatContext* raw = nullptr;
  const std::u8string u8 = file.u8string();
  const std::string path(reinterpret_cast<const char*>(u8.data()), u8.size());
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return -1;
  ff::InputContextPtr in(raw);
  if (avformat_find_stream_info(in.get(), nullptr) < 0) return -1;
  const int vi = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (vi < 0) return -1;
  const AVCodec* dec = avcodec_find_decoder(in->streams[vi]->codecpar->codec_id);
  if (!dec) return -1;
  ff::CodecContextPtr c(avcodec_alloc_context3(dec));
  avcodec_parameters_to_context(c.get(), in->streams[vi]->codecpar);
  c->thread_count = 1;
  c->err_recognition = AV_EF_EXPLODE;  // a malformed unit is an error, not a concealed picture
  if (avcodec_open2(c.get(), dec, nullptr) < 0) return -1;
  ff::PacketPtr pkt(av_packet_alloc());
  ff::FramePtr frame(av_frame_alloc());
  int64_t frames = 0;
  auto drain = [&]() -> bool {
    for (;;) {
      const int r = avcodec_receive_frame(c.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      if (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT)) return false;
      ++frames;
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(in.get(), pkt.get()) >= 0) {
    if (pkt->stream_index == vi) {
      if (avcodec_send_packet(c.get(), pkt.get()) < 0 || !drain()) return -1;
    }
    av_packet_unref(pkt.get());
  }
  avcodec_send_packet(c.get(), nullptr);
  if (!drain()) return -1;
  return frames;
}

namespace {
// One folder per process, removed at exit: two runs of the tests on one machine must not share
// files.
struct RunFolder {
  fs::path path = fs::temp_directory_path() /
                  ("halvex-clipfile-tests-" + std::to_string(std::random_device{}()));
  ~RunFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};
}  // namespace

fs::path FreshDir(const std::string& name) {
  static const RunFolder run;
  const fs::path dir = run.path / name;
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  return dir;
}

}  // namespace halvex::testmedia

namespace {
// Encoder statistics would bury the test output.
const int kQuietFfmpeg = (av_log_set_level(AV_LOG_ERROR), 0);
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// libx265 keeps a few small allocations past x265_encoder_close; they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
#endif
