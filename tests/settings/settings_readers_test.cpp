// Readers and writers of every setting: defaults, accepted values, clamps and round trips.
#include <algorithm>

#include "settings/settings.h"
#include "settings/settings_test_util.h"

namespace halvex::settings {
namespace {

using testing::StoreTest;
using SettingsReadersTest = StoreTest;

bool AllUsable(AudioFormat) { return true; }

TEST_F(SettingsReadersTest, EmptyFileGivesEveryDefault) {
  WriteFile("; nothing here\n");
  EXPECT_EQ(ReadAudioQualitySettings(*store_, AllUsable), AudioQualitySettings{});
  const AudioQualitySettings audio = ReadAudioQualitySettings(*store_, AllUsable);
  EXPECT_EQ(audio.sampleRate, 48000);
  EXPECT_EQ(audio.bitrateKbps, 256);
  EXPECT_EQ(audio.format, AudioFormat::AacLc);
  EXPECT_TRUE(audio.editorTracks);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 30);
  EXPECT_EQ(ReadSaveRoot(*store_), "");
  const VideoQualitySettings video = ReadVideoQualitySettings(*store_);
  EXPECT_EQ(video, VideoQualitySettings{});
  EXPECT_EQ(video.fps, 60);
  EXPECT_EQ(video.bitrateKbps, 20000);
  EXPECT_EQ(video.discordCodec, VideoCodec::Hevc);
  const ShortcutPair shortcuts = ReadShortcuts(*store_);
  EXPECT_EQ(shortcuts.saveClip, HotkeyCombo{kVkF8});
  EXPECT_EQ(shortcuts.openMenu, (HotkeyCombo{kVkControl, kVkShift, kVkF10}));
  EXPECT_EQ(ReadExclusionLists(*store_), ExclusionLists{});
  EXPECT_EQ(ReadMixerLevel("game.exe", *store_), 1.0f);
  EXPECT_EQ(ReadRenderDeviceId(*store_), "");
  EXPECT_EQ(ReadMicrophoneDeviceId(*store_), "");
}

TEST_F(SettingsReadersTest, AudioQualityFollowsTheFormat) {
  WriteFile("[AudioQuality]\nSampleRate=44100\nBitrateKbps=320\nFormat=opus\nEditorTracks=0\n");
  AudioQualitySettings q = ReadAudioQualitySettings(*store_, AllUsable);
  EXPECT_EQ(q.format, AudioFormat::Opus);
  EXPECT_EQ(q.sampleRate, 48000);  // Opus always at 48 kHz
  EXPECT_EQ(q.bitrateKbps, 320);
  EXPECT_FALSE(q.editorTracks);

  // Without an Opus encoder the stored choice falls back to AAC-LC with the stored rate.
  q = ReadAudioQualitySettings(*store_, [](AudioFormat f) { return f != AudioFormat::Opus; });
  EXPECT_EQ(q.format, AudioFormat::AacLc);
  EXPECT_EQ(q.sampleRate, 44100);

  WriteFile("[AudioQuality]\nFormat=ALAC\nBitrateKbps=999\nSampleRate=96000\n");
  q = ReadAudioQualitySettings(*store_, AllUsable);
  EXPECT_EQ(q.format, AudioFormat::Alac);
  EXPECT_EQ(q.bitrateKbps, 256);
  EXPECT_EQ(q.sampleRate, 96000);

  WriteFile("[AudioQuality]\nFormat=HE-AAC\nBitrateKbps=999\nSampleRate=32000\n");
  q = ReadAudioQualitySettings(*store_, AllUsable);
  EXPECT_EQ(q, AudioQualitySettings{});
}

TEST_F(SettingsReadersTest, AudioQualityRoundTripsAndTheRealProbeAnswers) {
  const AudioQualitySettings written{44100, 192, AudioFormat::Alac, false};
  ASSERT_TRUE(WriteAudioQualitySettings(written, *store_));
  EXPECT_EQ(Get("AudioQuality", "Format"), "ALAC");
  AudioQualitySettings expected = written;
  expected.bitrateKbps = 256;
  EXPECT_EQ(ReadAudioQualitySettings(*store_, AllUsable), expected);
  // Both builds of FFmpeg carry the AAC and ALAC encoders.
  EXPECT_TRUE(AudioFormatUsable(AudioFormat::AacLc));
  EXPECT_TRUE(AudioFormatUsable(AudioFormat::Alac));
  EXPECT_EQ(ReadAudioQualitySettings(*store_), expected);
}

TEST_F(SettingsReadersTest, VideoQualityClamps) {
  WriteFile(
      "[VideoQuality]\nWidth=1920\nHeight=0\nFPS=50\nBitrateKbps=1999\nFormat=mkv\nCodec=h265\n"
      "VSync=2\nDiscordClip20MB=1\nDiscordClipCodec=AV1\n");
  VideoQualitySettings q = ReadVideoQualitySettings(*store_);
  EXPECT_EQ(q.width, 0);
  EXPECT_EQ(q.height, 0);
  EXPECT_EQ(q.fps, 60);
  EXPECT_EQ(q.bitrateKbps, 20000);
  EXPECT_EQ(q.container, VideoContainer::Mkv);
  EXPECT_EQ(q.codec, VideoCodec::Hevc);
  EXPECT_TRUE(q.vsync);
  EXPECT_TRUE(q.discordClip);
  EXPECT_EQ(q.discordCodec, VideoCodec::Hevc);

  WriteFile("[VideoQuality]\nWidth=-1280\nHeight=720\nBitrateKbps=80000\nCodec=Av1\nFPS=0\n"
            "DiscordClipCodec=vp9\n");
  q = ReadVideoQualitySettings(*store_);
  EXPECT_EQ(q.width, 0);
  EXPECT_EQ(q.height, 0);
  EXPECT_EQ(q.bitrateKbps, 80000);
  EXPECT_EQ(q.codec, VideoCodec::Av1);
  EXPECT_EQ(q.fps, 0);
  EXPECT_EQ(q.discordCodec, VideoCodec::H264);
}

TEST_F(SettingsReadersTest, VideoQualityRoundTrips) {
  const VideoQualitySettings written{2560, 1440, 120, 45000, VideoContainer::Mkv,
                                     VideoCodec::Av1, true, true, VideoCodec::H264};
  ASSERT_TRUE(WriteVideoQualitySettings(written, *store_));
  EXPECT_EQ(ReadVideoQualitySettings(*store_), written);
  EXPECT_EQ(Get("VideoQuality", "Codec"), "AV1");
  EXPECT_EQ(Get("VideoQuality", "DiscordClipCodec"), "H264");
}

TEST_F(SettingsReadersTest, ClipDurationAndSaveRoot) {
  WriteFile("[ClipSettings]\nDurationSeconds=25\nSaveRoot=D:\\Clips\n");
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 30);
  EXPECT_EQ(ReadSaveRoot(*store_), "D:\\Clips");
  ASSERT_TRUE(WriteClipDurationSeconds(300, *store_));
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 300);
  ASSERT_TRUE(WriteClipDurationSeconds(7, *store_));
  EXPECT_EQ(Get("ClipSettings", "DurationSeconds"), "30");
}

TEST_F(SettingsReadersTest, ShortcutsKeepDefaultsAndNeverCollide) {
  WriteFile("[Shortcuts]\nSaveClip=119\nOpenMenu=119\n");
  ShortcutPair s = ReadShortcuts(*store_);
  EXPECT_EQ(s.saveClip, HotkeyCombo{kVkF8});
  EXPECT_EQ(s.openMenu, (HotkeyCombo{kVkControl, kVkShift, kVkF10}));

  WriteFile("[Shortcuts]\nSaveClip=16,17,121\nOpenMenu=17,16,121\n");
  s = ReadShortcuts(*store_);
  EXPECT_EQ(s.saveClip, (HotkeyCombo{kVkControl, kVkShift, kVkF10}));
  EXPECT_EQ(s.openMenu, HotkeyCombo{kVkF10});

  WriteFile("[Shortcuts]\nSaveClip=27\nOpenMenu=16,17\n");
  s = ReadShortcuts(*store_);
  EXPECT_EQ(s, ShortcutPair{});

  // Left/right variants fold, junk pieces are skipped, codes above 255 dropped.
  WriteFile("[Shortcuts]\nSaveClip=162,,x, 65,300,65 ,-5,66\nOpenMenu=\n");
  s = ReadShortcuts(*store_);
  EXPECT_EQ(s.saveClip, (HotkeyCombo{kVkControl, 65, 66}));
  EXPECT_EQ(s.openMenu, ShortcutPair{}.openMenu);
}

TEST_F(SettingsReadersTest, ShortcutsRoundTripInNormalForm) {
  const ShortcutPair written{HotkeyCombo{163, 160, 65}, HotkeyCombo{kVkAlt, kVkF10}};
  ASSERT_TRUE(WriteShortcuts(written, *store_));
  EXPECT_EQ(Get("Shortcuts", "SaveClip"), "16,17,65");
  EXPECT_EQ(Get("Shortcuts", "OpenMenu"), "18,121");
  EXPECT_EQ(ReadShortcuts(*store_), written);
  EXPECT_EQ(ComboToText(DefaultOpenMenuCombo()), "16,17,121");
}

TEST_F(SettingsReadersTest, ExclusionListsAreCleanedAndCapped) {
  std::string file = "[ExcludedPrograms]\nVideoCount=500\nAudioCount=-4\n";
  file += "Video0=C:\\Games\\Foo.EXE\nVideo1=foo.exe\nVideo2=notes.txt\nVideo3=/opt/b/Bar.exe\n";
  for (int i = 4; i < 200; ++i) {
    file += "Video" + std::to_string(i) + "=g" + std::to_string(i) + ".exe\n";
  }
  file += "Audio0=discord.exe\n";
  WriteFile(file);
  const ExclusionLists lists = ReadExclusionLists(*store_);
  EXPECT_TRUE(lists.audio.empty());
  // Entries 0..127 only: foo.exe once, bar.exe, and g4..g127 (notes.txt only on Linux).
  EXPECT_TRUE(std::is_sorted(lists.video.begin(), lists.video.end()));
  EXPECT_EQ(std::count(lists.video.begin(), lists.video.end(), "foo.exe"), 1);
  EXPECT_NE(std::find(lists.video.begin(), lists.video.end(), "bar.exe"), lists.video.end());
  EXPECT_NE(std::find(lists.video.begin(), lists.video.end(), "g127.exe"), lists.video.end());
  EXPECT_EQ(std::find(lists.video.begin(), lists.video.end(), "g128.exe"), lists.video.end());
  const bool notes =
      std::find(lists.video.begin(), lists.video.end(), "notes.txt") != lists.video.end();
  EXPECT_EQ(notes, IsValidExecutableName("notes.txt"));
  EXPECT_EQ(lists.video.size(), (notes ? 1u : 0u) + 2u + 124u);
}

TEST_F(SettingsReadersTest, RewritingExclusionsLeavesNoStaleEntries) {
  ExclusionLists lists;
  for (int i = 0; i < 5; ++i) lists.video.push_back("Game" + std::to_string(i) + ".EXE");
  lists.audio = {"spotify.exe", "SPOTIFY.exe", "x"};
  ASSERT_TRUE(WriteExclusionLists(lists, *store_));
  ExclusionLists read = ReadExclusionLists(*store_);
  EXPECT_EQ(read.video.front(), "game0.exe");
  EXPECT_EQ(read.video.size(), 5u);
  EXPECT_EQ(read.audio, NormalizeExclusionList(lists.audio));
  EXPECT_EQ(Get("ExcludedPrograms", "AudioCount"), std::to_string(read.audio.size()));

  ASSERT_TRUE(WriteExclusionLists(ExclusionLists{{"only.exe"}, {}}, *store_));
  EXPECT_EQ(ReadExclusionLists(*store_), (ExclusionLists{{"only.exe"}, {}}));
  EXPECT_EQ(Get("ExcludedPrograms", "Video4"), "<none>");
}

TEST_F(SettingsReadersTest, MixerLevels) {
  // Golden keys: changing the hash would orphan every level users have saved.
  EXPECT_EQ(MixerLevelKey(kMicrophoneMixerId), "App_C7931E78335820C0");
  EXPECT_EQ(MixerLevelKey("C:\\Games\\Foo.exe"), "App_20DFFA9025976423");
  EXPECT_EQ(MixerLevelKey("c:\\GAMES\\foo.EXE"), "App_20DFFA9025976423");
  EXPECT_EQ(MixerLevelKey("juego\xF0\x9F\x8E\xAE"), "App_2BAAAA8FAE032F99");  // surrogate pair

  WriteFile("[AudioMixer]\n" + MixerLevelKey("a") + "=abc\n" + MixerLevelKey("b") + "=150\n" +
            MixerLevelKey("c") + "=-5\n" + MixerLevelKey("d") + "=37.5%\n" + MixerLevelKey("e") +
            "=nan\n");
  EXPECT_EQ(ReadMixerLevel("a", *store_), 1.0f);
  EXPECT_EQ(ReadMixerLevel("b", *store_), 1.0f);
  EXPECT_EQ(ReadMixerLevel("c", *store_), 0.0f);
  EXPECT_FLOAT_EQ(ReadMixerLevel("d", *store_), 0.375f);
  EXPECT_EQ(ReadMixerLevel("e", *store_), 1.0f);

  ASSERT_TRUE(WriteMixerLevel("game", 0.424f, *store_));
  EXPECT_EQ(Get("AudioMixer", MixerLevelKey("GAME")), "42");
  EXPECT_FLOAT_EQ(ReadMixerLevel("Game", *store_), 0.42f);
  ASSERT_TRUE(WriteMixerLevel("game", 7.0f, *store_));
  EXPECT_EQ(ReadMixerLevel("game", *store_), 1.0f);
}

TEST_F(SettingsReadersTest, DeviceIds) {
  const std::string id = "{0.0.0.00000000}.{d1b3c5e7-0000-4000-8000-000000000001}";
  ASSERT_TRUE(WriteRenderDeviceId(id, *store_));
  ASSERT_TRUE(WriteMicrophoneDeviceId("alsa_input.usb-Micr\xC3\xB3" "fono", *store_));
  EXPECT_EQ(ReadRenderDeviceId(*store_), id);
  EXPECT_EQ(ReadMicrophoneDeviceId(*store_), "alsa_input.usb-Micr\xC3\xB3" "fono");
  ASSERT_TRUE(WriteRenderDeviceId("", *store_));
  EXPECT_EQ(ReadRenderDeviceId(*store_), "");
}

}  // namespace
}  // namespace halvex::settings
