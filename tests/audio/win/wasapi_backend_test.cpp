// The WASAPI backend against the system's audio (under Wine: its PulseAudio driver and the
// private server of scripts/virtual-desktop, which offers the speakers "Altavoces" and a
// "Microfono" sink whose monitor is the default input).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "audio/win/wasapi_capture.h"
#include "audio/win/wasapi_device_list.h"
#include "audio/win/wasapi_sessions.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/text.h"
#include "core/win/com_apartment.h"
#include "wasapi_tone.h"

namespace halvex::wasapi {
namespace {

class WasapiBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Ok());
    outputs_ = WasapiDeviceList().Outputs();
    ASSERT_FALSE(outputs_.empty())
        << "no output devices: the tests need a sound server (run them under "
           "scripts/virtual-desktop, which starts a private PulseAudio)";
  }

  // The output whose friendly name contains `fragment`; empty when there is none.
  std::string OutputNamed(const std::string& fragment) const {
    for (const AudioDevice& d : outputs_) {
      if (d.name.find(fragment) != std::string::npos) return d.id;
    }
    return {};
  }

  ComApartment com_;
  std::vector<AudioDevice> outputs_;
};

// Waits (a bounded number of polls) until `done` holds. The bound is generous: a virtual
// sound device that idled may pause a new stream for a couple of seconds while it wakes.
template <typename F>
bool PollUntil(F done, int polls = 1000) {
  for (int i = 0; i < polls; ++i) {
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

TEST_F(WasapiBackend, DeviceListsCarryUniqueIdsAndFriendlyNames) {
  const std::vector<AudioDevice> inputs = WasapiDeviceList().Inputs();
  ASSERT_FALSE(inputs.empty());
  std::set<std::string> ids;
  const std::vector<AudioDevice>* lists[] = {&outputs_, &inputs};
  for (const auto* list : lists) {
    for (const AudioDevice& d : *list) {
      EXPECT_FALSE(d.id.empty());
      EXPECT_FALSE(d.name.empty());
      EXPECT_TRUE(ids.insert(d.id).second) << "duplicate id " << d.id;
    }
  }
  // The names are the server's own descriptions, not the fallback.
  EXPECT_FALSE(OutputNamed("Altavoces").empty());
  EXPECT_FALSE(OutputNamed("Microfono").empty());
}

TEST_F(WasapiBackend, MicrophoneReadsTheToneWithRisingCaptureTimes) {
  std::string error;
  testing::WasapiTone tone;
  const std::string line = OutputNamed("Microfono");
  ASSERT_FALSE(line.empty());
  ASSERT_TRUE(tone.Start(text::Utf8ToWide(line), 440, error)) << error;

  log::Capture logs(false);  // the lines also show in the output
  WasapiMicrophoneCapture mic;
  ASSERT_TRUE(mic.Open(""));
  EXPECT_TRUE(logs.Contains("WASAPI: microfono preparado (48000Hz, 2 canales, float32); la "
                            "captura se iniciara al abrir un juego."));
  ASSERT_TRUE(mic.Start());
  EXPECT_TRUE(mic.Start());  // already running
  EXPECT_TRUE(logs.Contains("WASAPI: captura de microfono iniciada."));
  EXPECT_EQ(logs.Count("WASAPI: captura de microfono iniciada."), 1u);

  float peak = 0;
  size_t samples = 0;
  int64_t lastNs = 0;
  int reads = 0;
  ASSERT_TRUE(PollUntil([&] {
    AudioChunk chunk;
    if (mic.Read(chunk)) {
      EXPECT_EQ(chunk.samples.size() % 2, 0u);
      EXPECT_GT(chunk.captureNs, lastNs);
      lastNs = chunk.captureNs;
      samples += chunk.samples.size();
      ++reads;
      for (float s : chunk.samples) peak = std::max(peak, std::fabs(s));
    }
    return reads >= 3 && peak > 0.3f;
  })) << "reads=" << reads << " samples=" << samples << " peak=" << peak;
  EXPECT_LE(peak, 0.51f);

  // Stop empties the queue; a stopped microphone reads nothing.
  mic.Stop();
  EXPECT_EQ(mic.QueuedSamples(), 0u);
  AudioChunk chunk;
  EXPECT_FALSE(mic.Read(chunk));

  // Opening a running microphone again stops its thread and replaces the client; capture resumes
  // with the new one.
  ASSERT_TRUE(mic.Start());
  ASSERT_TRUE(mic.Open(""));
  EXPECT_EQ(mic.QueuedSamples(), 0u);
  ASSERT_TRUE(mic.Start());
  EXPECT_EQ(logs.Count("WASAPI: captura de microfono iniciada."), 3u);
  EXPECT_TRUE(PollUntil([&] { return mic.Read(chunk) && !chunk.samples.empty(); }));
  mic.Close();
}

TEST_F(WasapiBackend, UnknownDevicesFailWithTheirLines) {
  log::Capture logs(false);  // the lines also show in the output
  WasapiMicrophoneCapture mic;
  EXPECT_FALSE(mic.Open("{0.0.1.00000000}.{no-such-device}"));
  EXPECT_TRUE(logs.Contains("WASAPI: no hay microfono por defecto (hr=0x"));
  EXPECT_FALSE(mic.Start());

  WasapiLoopbackCapture loopback;
  EXPECT_FALSE(loopback.Open("{0.0.0.00000000}.{no-such-device}"));
  EXPECT_TRUE(logs.Contains("WASAPI: no se pudo abrir el dispositivo de salida solicitado (hr=0x"));
  EXPECT_FALSE(loopback.Start());
  std::vector<AudioChunk> chunks;
  EXPECT_FALSE(loopback.Read(chunks));
}

// Wine's PulseAudio driver refuses GetService(IAudioCaptureClient) on a loopback client of a
// render endpoint (0x88890003, AUDCLNT_E_WRONG_ENDPOINT_TYPE). Where a system accepts it, the
// loopback must carry the tone played on that output instead.
TEST_F(WasapiBackend, LoopbackReadsTheOutputOrReportsWineRefusingGetServiceCaptureClient) {
  const std::string speakers = OutputNamed("Altavoces");
  ASSERT_FALSE(speakers.empty());
  log::Capture logs(false);  // the lines also show in the output
  WasapiLoopbackCapture loopback;
  if (!loopback.Open(speakers)) {
    EXPECT_TRUE(logs.Contains("WASAPI: GetService(IAudioCaptureClient) fallo (hr=0x88890003)"))
        << (logs.Lines().empty() ? "" : logs.Lines().back());
    EXPECT_FALSE(loopback.Start());
    return;
  }
  EXPECT_TRUE(logs.Contains("WASAPI: dispositivo de salida preparado (48000Hz, 2 canales"));
  testing::WasapiTone tone;
  std::string error;
  ASSERT_TRUE(tone.Start(text::Utf8ToWide(speakers), 440, error)) << error;
  ASSERT_TRUE(loopback.Start());
  EXPECT_TRUE(logs.Contains("WASAPI: captura de audio de salida iniciada."));
  float peak = 0;
  int64_t lastNs = 0;
  EXPECT_TRUE(PollUntil([&] {
    std::vector<AudioChunk> chunks;
    loopback.Read(chunks);
    for (const AudioChunk& c : chunks) {
      EXPECT_GT(c.captureNs, lastNs);
      lastNs = c.captureNs;
      for (float s : c.samples) peak = std::max(peak, std::fabs(s));
    }
    return peak > 0.3f;
  }));
}

// Our own render stream is a session of the default output; its volume is the one we set.
// Wine 8 answers IAudioSessionManager2::GetSessionEnumerator with E_NOTIMPL (0x80004001): there
// the list fails, names the refused call, and stays empty.
TEST_F(WasapiBackend, SessionsListOurOwnStreamOrReportWineRefusingGetSessionEnumerator) {
  testing::WasapiTone tone;
  std::string error;
  ASSERT_TRUE(tone.Start(L"", 440, error)) << error;
  const DWORD self = GetCurrentProcessId();
  log::Capture logs(false);  // the lines also show in the output
  WasapiAudioSessions sessions(SystemHasProcessLoopback());
  std::vector<AudioSessionInfo> list;
  if (!sessions.List("", list)) {
    EXPECT_TRUE(logs.Contains("[AUDIO] AVISO: no se pudo leer la lista de aplicaciones con audio "
                              "(IAudioSessionManager2::GetSessionEnumerator fallo, hr=0x80004001)"))
        << (logs.Lines().empty() ? "" : logs.Lines().back());
    EXPECT_TRUE(list.empty());
    // Warned once, not on every refresh.
    EXPECT_FALSE(sessions.List("", list));
    EXPECT_EQ(logs.Count("no se pudo leer la lista de aplicaciones con audio"), 1u);
    return;
  }
  auto own = std::find_if(list.begin(), list.end(), [&](auto& s) { return s.pid == self; });
  ASSERT_NE(own, list.end()) << list.size() << " sessions, none of ours";
  EXPECT_EQ(text::AsciiLower(own->imageName), "halvex_wasapi_tests.exe");

  sessions.SetSessionVolume("", self, 0.25f);
  // Read the level back through the system's own session control.
  Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
  Microsoft::WRL::ComPtr<IMMDevice> device;
  Microsoft::WRL::ComPtr<IAudioSessionManager2> manager;
  Microsoft::WRL::ComPtr<ISimpleAudioVolume> volume;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                            IID_PPV_ARGS(&enumerator)));
  ASSERT_HRESULT_SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device));
  ASSERT_HRESULT_SUCCEEDED(
      device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr, &manager));
  ASSERT_HRESULT_SUCCEEDED(manager->GetSimpleAudioVolume(nullptr, FALSE, &volume));
  float level = 0;
  ASSERT_HRESULT_SUCCEEDED(volume->GetMasterVolume(&level));
  EXPECT_FLOAT_EQ(level, 0.25f);
  volume->SetMasterVolume(1.0f, nullptr);
}

// Wine has no process-loopback virtual device: ActivateAudioInterfaceAsync on it answers
// 0x80070002, the capture reports itself not running and names the refused call. Where the
// system has the device, our own tone arrives.
TEST_F(WasapiBackend, ProcessCaptureTakesOurToneOrReportsWineRefusingActivateAudioInterface) {
  testing::WasapiTone tone;
  std::string error;
  ASSERT_TRUE(tone.Start(L"", 440, error)) << error;
  const DWORD self = GetCurrentProcessId();
  log::Capture logs(false);  // the lines also show in the output
  WasapiAudioSessions sessions(SystemHasProcessLoopback());
  auto capture = sessions.StartCapture("", {self, true, {}});
  ASSERT_NE(capture, nullptr);
  const std::string prefix = "[AUDIO] AVISO: captura por aplicacion (PID " + std::to_string(self) +
                             "): ";
  if (!capture->Running()) {
    ASSERT_FALSE(logs.Lines().empty());
    EXPECT_TRUE(logs.Contains(prefix + "ActivateAudioInterfaceAsync fallo (hr=0x"))
        << logs.Lines().back();
    std::vector<float> out;
    EXPECT_EQ(capture->TakeQueued(out).samples, 0u);
    return;
  }
  float peak = 0;
  EXPECT_TRUE(PollUntil([&] {
    std::vector<float> out;
    const QueuedAudio taken = capture->TakeQueued(out);
    EXPECT_EQ(taken.samples % 2, 0u);
    // Timed on the program's clock, so the mixer can line it up with the other streams.
    if (taken.samples > 0) EXPECT_NEAR(static_cast<double>(taken.endNs), NowNs(), 1e9);
    for (float s : out) peak = std::max(peak, std::fabs(s));
    return peak > 0.3f;
  }));
}

}  // namespace
}  // namespace halvex::wasapi
