#include "encode/stream_inspection.h"

#include <cmath>
#include <limits>

#include "core/ffmpeg_handles.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace halvex::test {

std::vector<int> AnnexBNalTypes(const PacketBytes& b, VideoCodec codec) {
  std::vector<int> types;
  const size_t n = b.size();
  size_t i = 0;
  bool found = false;
  while (i + 3 <= n) {
    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
      found = true;
      i += 3;
      if (i < n) types.push_back(codec == VideoCodec::Hevc ? (b[i] >> 1) & 0x3F : b[i] & 0x1F);
    } else {
      ++i;
    }
  }
  if (!found || n < 4 || b[0] != 0 || b[1] != 0) types.clear();
  return types;
}

ObuList Av1Obus(const PacketBytes& b) {
  ObuList out;
  size_t i = 0;
  while (i < b.size()) {
    const uint8_t header = b[i++];
    if (header & 0x80) {
      out.wellFormed = false;
      return out;
    }
    out.types.push_back((header >> 3) & 0x0F);
    if (header & 0x04) ++i;  // extension byte
    if (!(header & 0x02)) {
      out.allSized = false;
      return out;  // without a size the OBU runs to the end
    }
    uint64_t size = 0;
    for (int shift = 0;; shift += 7) {
      if (i >= b.size() || shift > 56) {
        out.wellFormed = false;
        return out;
      }
      const uint8_t byte = b[i++];
      size |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) break;
    }
    if (size > b.size() - i) {
      out.wellFormed = false;
      return out;
    }
    i += size;
  }
  return out;
}

namespace {

AVCodecID CodecId(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::Hevc:
      return AV_CODEC_ID_HEVC;
    case VideoCodec::Av1:
      return AV_CODEC_ID_AV1;
    default:
      return AV_CODEC_ID_H264;
  }
}

const AVCodec* FindDecoder(VideoCodec codec) {
  if (codec == VideoCodec::Av1) {
    // The native AV1 decoder only drives hardware; prefer the software ones.
    for (const char* name : {"libdav1d", "libaom-av1"}) {
      if (const AVCodec* c = avcodec_find_decoder_by_name(name)) return c;
    }
  }
  return avcodec_find_decoder(CodecId(codec));
}

bool Receive(AVCodecContext* ctx, AVFrame* frame, std::vector<CpuPicture>& out) {
  for (;;) {
    const int rc = avcodec_receive_frame(ctx, frame);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return false;
    CpuPicture p = CpuPicture::Allocate(frame->width, frame->height);
    ff::SwsPtr sws(sws_getContext(frame->width, frame->height,
                                  static_cast<AVPixelFormat>(frame->format), frame->width,
                                  frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                                  nullptr));
    if (!sws) return false;
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    const int fullRange = frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(sws.get(), bt709, fullRange, bt709, 1, 0, 1 << 16, 1 << 16);
    uint8_t* dst[1] = {p.pixels.get()};
    const int dstStride[1] = {p.stride};
    sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    out.push_back(std::move(p));
    av_frame_unref(frame);
  }
}

}  // namespace

std::vector<CpuPicture> DecodeToBgra(VideoCodec codec, const std::vector<PacketBytes>& pictures) {
  std::vector<CpuPicture> out;
  const AVCodec* decoder = FindDecoder(codec);
  if (!decoder) return out;
  ff::CodecContextPtr ctx(avcodec_alloc_context3(decoder));
  ff::FramePtr frame(av_frame_alloc());
  ff::PacketPtr packet(av_packet_alloc());
  if (!ctx || !frame || !packet || avcodec_open2(ctx.get(), decoder, nullptr) < 0) return out;
  for (const PacketBytes& bytes : pictures) {
    if (av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0) return {};
    std::copy(bytes.begin(), bytes.end(), packet->data);
    const int rc = avcodec_send_packet(ctx.get(), packet.get());
    av_packet_unref(packet.get());
    if (rc < 0 || !Receive(ctx.get(), frame.get(), out)) return {};
  }
  avcodec_send_packet(ctx.get(), nullptr);
  if (!Receive(ctx.get(), frame.get(), out)) return {};
  return out;
}

double PsnrBgra(const std::vector<CpuPicture>& reference, const std::vector<CpuPicture>& decoded) {
  if (reference.size() != decoded.size() || reference.empty()) return 0.0;
  double sum = 0.0;
  uint64_t count = 0;
  for (size_t k = 0; k < reference.size(); ++k) {
    const CpuPicture& a = reference[k];
    const CpuPicture& b = decoded[k];
    if (a.width != b.width || a.height != b.height) return 0.0;
    for (int y = 0; y < a.height; ++y) {
      const uint8_t* ra = a.Row(y);
      const uint8_t* rb = b.Row(y);
      for (int x = 0; x < a.width; ++x) {
        for (int c = 0; c < 3; ++c) {
          const double d = double(ra[4 * x + c]) - double(rb[4 * x + c]);
          sum += d * d;
        }
      }
      count += static_cast<uint64_t>(a.width) * 3;
    }
  }
  const double mse = sum / double(count);
  if (mse <= 0.0) return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

CpuPicture SyntheticPicture(int width, int height, int index, bool noisy) {
  CpuPicture p = CpuPicture::Allocate(width, height);
  const double cx = width * (0.3 + 0.2 * std::sin(index * 0.05));
  const double cy = height * (0.5 + 0.2 * std::cos(index * 0.07));
  const double radius = height * 0.2;
  uint32_t seed = 2463534242u + static_cast<uint32_t>(index) * 2654435761u;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = p.Row(y);
    for (int x = 0; x < width; ++x) {
      double b = 255.0 * x / width;
      double g = 255.0 * y / height;
      double r = 128.0 + 100.0 * std::sin((x + 2 * index) * 0.02) * std::cos(y * 0.015);
      const double dx = x - cx, dy = y - cy;
      const double inside = 1.0 / (1.0 + std::exp((std::sqrt(dx * dx + dy * dy) - radius) / 3.0));
      r = r * (1 - inside) + 230.0 * inside;
      g = g * (1 - inside) + 200.0 * inside;
      b = b * (1 - inside) + 40.0 * inside;
      if (noisy) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const double n = static_cast<double>(seed & 0x3F) - 32.0;
        r += n;
        g -= n;
        b += n / 2;
      }
      auto clamp = [](double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      row[4 * x + 0] = clamp(b);
      row[4 * x + 1] = clamp(g);
      row[4 * x + 2] = clamp(r);
      row[4 * x + 3] = 255;
    }
  }
  return p;
}

}  // namespace halvex::test
