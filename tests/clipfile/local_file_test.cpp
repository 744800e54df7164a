// Clip paths are local files whatever their names look like: FFmpeg never gets to read one as a
// network address or another protocol.
#include "clipfile/local_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "clipfile/clip_interleave.h"
#include "clipfile/discord_export.h"
#include "clipfile/mp4_muxer.h"
#include "core/log.h"
#include "test_media.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// Windows file names cannot hold ":" at all; there only a save root can look like a URL, and the
// save-path rules refuse it.

// Relative names are where a "scheme:" prefix reaches FFmpeg, so each case runs in its own folder.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

std::vector<const char*> UrlLookingNames() {
  return {
      "http://127.0.0.1:9/x/clip.mp4",  // an upload to a closed port before
      "tcp://127.0.0.1:9/clip.mkv",
      "nosuchprotocol:clip.mp4",        // "protocol not found" before
      "concat:clip.mp4",
      "C:\\Clips\\clip.mp4",  // a Windows path is one odd file name here, not a protocol "C"
  };
}

TEST(LocalFiles, MuxerWritesUrlLookingNamesAsLocalFiles) {
  const auto pictures = testmedia::LoadPictures(testmedia::FixedH264Path());
  ASSERT_EQ(pictures.size(), 30u);
  for (const char* name : UrlLookingNames()) {
    const fs::path dir = testmedia::FreshDir("url-names");
    InFolder here(dir);
    const fs::path path(name);
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    log::Capture capture;
    Mp4Muxer muxer;
    ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264)) << name;
    ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(pictures, 0, 30), {}, 30).ok)
        << name;
    ASSERT_TRUE(muxer.Close()) << name;
    EXPECT_TRUE(fs::is_regular_file(dir / path)) << name;
    EXPECT_EQ(testmedia::DecodeAllVideo(dir / path), 30) << name;
  }
}

TEST(LocalFiles, SizeLimitedCopyReadsAndWritesUrlLookingNamesAsFiles) {
  if (!testmedia::HasEncoder("libx264") && !testmedia::HasEncoder("libopenh264"))
    GTEST_SKIP() << "FFmpeg sin encoder H.264 por CPU";
  const fs::path dir = testmedia::FreshDir("url-copy");
  InFolder here(dir);
  const fs::path source("nosuchprotocol:clip.mp4");
  {
    Mp4Muxer muxer;
    ASSERT_TRUE(muxer.Open(source, 160, 90, 30, VideoCodec::H264));
    const auto pictures = testmedia::LoadPictures(testmedia::FixedH264Path());
    ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(pictures, 0, 30), {}, 30).ok);
    ASSERT_TRUE(muxer.Close());
  }
  const fs::path temp("http:copy.mp4.part");
  log::Capture capture;
  std::string error;
  ASSERT_TRUE(TranscodeForDiscord(source, temp, DiscordExportOptions{}, 5200, error)) << error;
  EXPECT_GT(testmedia::DecodeAllVideo(dir / temp), 0);
}

#endif  // _WIN32

TEST(LocalFiles, UrlsAreFileUrlsAndFlushNeedsAFile) {
  EXPECT_EQ(LocalFileUrl(fs::path("http://h/x.mp4")), "file:http://h/x.mp4");
  const fs::path dir = testmedia::FreshDir("flush");
  std::string error;
  EXPECT_FALSE(FlushFileToDisk(dir / "missing.mp4", error));
  EXPECT_FALSE(error.empty());
  std::ofstream(dir / "present.mp4") << "x";
  error.clear();
  EXPECT_TRUE(FlushFileToDisk(dir / "present.mp4", error)) << error;
}

}  // namespace
}  // namespace halvex
