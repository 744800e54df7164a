#pragma once
// The size a recording starts at when only a software encoder is there: a CPU that also runs the
// game does not sustain 1920x1080 at 60 fps, while 1280x720 fits beside it. A configured size is
// the player's choice and is kept; this only replaces "the source's own size".
namespace halvex {

struct VideoSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const VideoSize&, const VideoSize&) = default;
};

inline constexpr VideoSize kSoftwareStartLimit{1280, 720};

// The source's size when it fits within `limit`; otherwise the largest even size with the
// source's shape that does. Sizes below 1 give {0, 0} (nothing to scale).
VideoSize SoftwareStartSize(int sourceWidth, int sourceHeight, VideoSize limit = kSoftwareStartLimit);

}  // namespace halvex
