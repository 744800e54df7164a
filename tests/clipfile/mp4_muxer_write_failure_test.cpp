// A disk that fills up in the middle of a save: the clip's name never shows a broken file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "clipfile/clip_interleave.h"
#include "clipfile/mp4_muxer.h"
#include "core/log.h"
#include "test_media.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

// Child exit codes.
enum : int { kOk = 0, kOpenFailed = 2, kWriteSucceeded = 3, kClosePublished = 4, kNoMessage = 5 };

// Writes `rounds` seconds of pictures into a file that may not grow past 100 KB (the kernel then
// fails the write with EFBIG). FFmpeg buffers 256 KB, so a short clip fails only when it is
// finished and a long one while its packets are written.
int WriteUntilFull(const fs::path& path, int rounds, bool expectPacketFailure) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{100000, 100000};
  setrlimit(RLIMIT_FSIZE, &limit);

  const auto pictures = testmedia::LoadPictures(testmedia::FixedH264Path());
  std::vector<EncodedPacket> video;
  for (int round = 0; round < rounds; ++round) {
    auto part = testmedia::ToVideoPackets(pictures, 1'000'000'000LL * (1 + round), 30);
    video.insert(video.end(), part.begin(), part.end());
  }
  log::Capture capture;
  Mp4Muxer muxer;
  if (!muxer.Open(path, 160, 90, 30, VideoCodec::H264)) return kOpenFailed;
  const bool ok = WriteClipPackets(muxer, video, {}, 30).ok;
  const bool published = muxer.Close();
  if (ok == expectPacketFailure) return kWriteSucceeded;
  if (published) return kClosePublished;
  if (!capture.Contains(expectPacketFailure ? "fallo escribiendo video" : "el clip no se completo"))
    return kNoMessage;
  return kOk;
}

TEST(Mp4MuxerWriteFailure, FullDiskLeavesNeitherClipNorTemporaryFile) {
  for (const char* name : {"full.mp4", "full.mkv"}) {
    for (const bool duringPackets : {true, false}) {
      const fs::path dir = testmedia::FreshDir("write-failure");
      const fs::path path = dir / name;
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) _exit(WriteUntilFull(path, duringPackets ? 60 : 20, duringPackets));
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), kOk) << name << " during packets: " << duringPackets;
      EXPECT_TRUE(fs::is_empty(dir)) << name << ": a clip or its temporary file was left behind";
    }
  }
}

}  // namespace
}  // namespace halvex
