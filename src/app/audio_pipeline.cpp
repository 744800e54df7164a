#include "app/audio_pipeline.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_platform.h"
#include "audio/volume_curve.h"
#include "core/clock.h"
#include "core/log.h"
#include "settings/exclusion_settings.h"

namespace halvex {
namespace {

constexpr const char* kDesktopGapLine = "[AUDIO-TIMING] hueco de captura detectado: ";
constexpr const char* kMicrophoneGapLine = "[AUDIO-TIMING] hueco de microfono detectado: ";

void LimitPeak(std::vector<float>& block) {
  float peak = 0;
  for (float s : block) peak = std::max(peak, std::fabs(s));
  if (peak <= AudioPipeline::kPeakLimit) return;
  const float scale = AudioPipeline::kPeakLimit / peak;
  for (float& s : block) s *= scale;
}

// Where a block starting at a chunk captured at `captureNs` begins on the track's timeline: the
// timeline lays chunks end to end unless a gap opens.
int64_t BlockStart(const AudioTimeline& timeline, int64_t captureNs) {
  if (timeline.Started() && captureNs - timeline.ExpectedNs() < AudioTimeline::kContinuityNs) {
    return timeline.ExpectedNs();
  }
  return captureNs;
}

std::string Milliseconds(int64_t ns) { return std::to_string((ns + 500'000) / 1'000'000); }

}  // namespace

void AudioPipeline::Track::Restart() {
  if (open) encoder.Reset();
  // The encoder keeps counting across a reset; this session's positions start here.
  base = encoder.SamplesEncoded();
  timeline.Reset();
  overlapFrames = 0;
}

AudioPipeline::AudioPipeline(AudioPipelineParts parts)
    : parts_(std::move(parts)), mixer_(*parts_.sessions, parts_.ownPid) {}

AudioPipeline::~AudioPipeline() {
  mixer_.Stop();
  parts_.loopback->Close();
  parts_.microphone->Close();
}

int64_t AudioPipeline::Now() const { return parts_.now ? parts_.now() : NowNs(); }

void AudioPipeline::SetMicrophoneLevel(float level) { micGain_ = VolumeToGain(level); }

bool AudioPipeline::OpenLoopback() {
  if (!parts_.loopback->Open(renderId_)) {
    if (renderId_.empty()) return false;
    log::Line(
        "AVISO: el dispositivo de audio guardado ya no esta disponible; se usara el "
        "predeterminado.");
    renderId_.clear();
    settings::WriteRenderDeviceId("", *store_);
    if (!parts_.loopback->Open(renderId_)) return false;
  }
  loopRate_ = parts_.loopback->SampleRate();
  loopChannels_ = parts_.loopback->Channels();
  return true;
}

bool AudioPipeline::OpenMicrophone() {
  if (!parts_.microphone->Open(microphoneId_)) {
    if (microphoneId_.empty()) return false;
    log::Line(
        "AVISO: el dispositivo de micrófono guardado ya no está disponible; se usará el "
        "predeterminado.");
    microphoneId_.clear();
    settings::WriteMicrophoneDeviceId("", *store_);
    if (!parts_.microphone->Open(microphoneId_)) return false;
  }
  micRate_ = parts_.microphone->SampleRate();
  micChannels_ = parts_.microphone->Channels();
  return true;
}

void AudioPipeline::Open(const settings::ProfileStore& store,
                         const settings::AudioQualitySettings& quality, bool windows10Mode) {
  store_ = &store;
  quality_ = quality;
  windows10Mode_ = windows10Mode;
  renderId_ = settings::ReadRenderDeviceId(store);
  microphoneId_ = settings::ReadMicrophoneDeviceId(store);
  for (Track* t : {&desktop_, &game_, &microphone_, &mix_, &appMix_}) {
    t->encoder.Close();
    t->open = false;
  }
  const int outRate = quality.sampleRate;
  const int kbps = quality.bitrateKbps;
  const AudioFormat format = quality.format;

  loopbackOpen_ = OpenLoopback();
  if (!loopbackOpen_) {
    log::Line(
        "AVISO: no se pudo inicializar la captura de audio del juego (WASAPI) - esa pista no va "
        "a estar en el clip.");
  } else if (!(desktop_.open = desktop_.encoder.Initialize(loopRate_, loopChannels_, outRate,
                                                           kbps, format))) {
    log::Line(
        "AVISO: no se pudo inicializar el encoder AAC (juego) - esa pista no va a estar en el "
        "clip.");
    parts_.loopback->Close();
    loopbackOpen_ = false;
  } else if (!windows10Mode &&
             !(game_.open = game_.encoder.Initialize(kProcessCaptureRate, kProcessCaptureChannels,
                                                     outRate, kbps, format))) {
    log::Line("AVISO: no se pudo inicializar el encoder AAC (solo juego).");
  }

  microphoneOpen_ = OpenMicrophone();
  if (!microphoneOpen_) {
    log::Line(
        "AVISO: no se pudo inicializar la captura del microfono (WASAPI) - esa pista no va a "
        "estar en el clip.");
  } else if (!(microphone_.open = microphone_.encoder.Initialize(micRate_, micChannels_, outRate,
                                                                 kbps, format))) {
    log::Line(
        "AVISO: no se pudo inicializar el encoder AAC (microfono) - esa pista no va a estar en "
        "el clip.");
    parts_.microphone->Close();
    microphoneOpen_ = false;
  }

  if (loopbackOpen_ && microphoneOpen_) {
    mix_.open = mix_.encoder.Initialize(loopRate_, loopChannels_, outRate, kbps, format);
    if (!mix_.open) {
      log::Line(
          "AVISO: no se pudo inicializar el encoder AAC (mezcla) - se usara el loopback del "
          "escritorio como pista principal.");
    } else if (windows10Mode && micRate_ != loopRate_) {
      log::Line("[AUDIO-W10] Mezcla: " + std::to_string(loopRate_) + "Hz + microfono " +
                std::to_string(micRate_) + "Hz -> remuestreo del microfono.");
    }
  }

  if (loopbackOpen_) {
    if (windows10Mode) {
      log::Line(
          "[AUDIO-W10] Windows 10 usa el loopback del dispositivo para la mezcla principal + "
          "microfono. No se crea una pista de juego aislada porque el loopback por proceso no "
          "esta disponible en W10.");
    } else if (!(appMix_.open = appMix_.encoder.Initialize(
                     kProcessCaptureRate, kProcessCaptureChannels, outRate, kbps, format))) {
      log::Line("AVISO: no se pudo inicializar el encoder de mezcla por aplicación.");
    }
  }

  mixer_.SetRenderDevice(renderId_);
  SetMicrophoneLevel(settings::ReadMixerLevel(settings::kMicrophoneMixerId, store));
}

AudioSummary AudioPipeline::Summary() const {
  AudioSummary s;
  s.desktop = loopbackOpen_;
  s.microphone = microphoneOpen_;
  s.mix = mix_.open;
  return s;
}

int AudioPipeline::PerProcessSources() const { return static_cast<int>(mixer_.Sources().size()); }

bool AudioPipeline::PerProcessCapturing() const {
  if (mixer_.GameCapturing()) return true;
  for (const MixSource& s : mixer_.Sources()) {
    if (s.capturing) return true;
  }
  return false;
}

void AudioPipeline::RefreshSources() { mixer_.RefreshSources(); }

void AudioPipeline::StartCaptures() {
  desktopRunning_ = false;
  if (loopbackOpen_) {
    desktopRunning_ = parts_.loopback->Start();
    if (!desktopRunning_) {
      log::Line(
          "[AUDIO] AVISO: no se pudo iniciar el loopback; reabriendo el endpoint para "
          "reintentar...");
      parts_.loopback->Close();
      // The encoder was opened for the old format; a device that comes back different is not
      // taken in the middle of a run.
      desktopRunning_ = parts_.loopback->Open(renderId_) &&
                        parts_.loopback->SampleRate() == loopRate_ &&
                        parts_.loopback->Channels() == loopChannels_ && parts_.loopback->Start();
      if (!desktopRunning_) {
        log::Line(
            "[AUDIO] AVISO: no se pudo iniciar el loopback en esta sesion; el video seguira "
            "funcionando sin audio global.");
      }
    }
  }
  desktop_.Restart();
  game_.Restart();

  microphoneStarted_ = false;
  if (microphoneOpen_) {
    microphoneStarted_ = parts_.microphone->Start();
    if (!microphoneStarted_) {
      log::Line(
          "[AUDIO] AVISO: no se pudo iniciar el microfono; reabriendo el dispositivo para "
          "reintentar...");
      parts_.microphone->Close();
      microphoneStarted_ = parts_.microphone->Open(microphoneId_) &&
                           parts_.microphone->SampleRate() == micRate_ &&
                           parts_.microphone->Channels() == micChannels_ &&
                           parts_.microphone->Start();
      if (!microphoneStarted_) {
        log::Line(
            "[AUDIO] AVISO: no se pudo iniciar el microfono en esta sesion; la pista de micro se "
            "omitira sin bloquear F8.");
      }
    }
  }
  microphone_.Restart();
}

void AudioPipeline::StartSession(ProcessId process, const std::string& processName,
                                 int64_t /*startNs*/) {
  if (store_ != nullptr) {
    SetMicrophoneLevel(settings::ReadMixerLevel(settings::kMicrophoneMixerId, *store_));
    mixer_.SetExcludedAudio(settings::ReadExclusionLists(*store_).audio);
  }
  mixer_.SetRenderDevice(renderId_);
  mixer_.SetTargetProcess(static_cast<AudioProcessId>(process), processName);

  StartCaptures();
  mix_.Restart();
  appMix_.Restart();
  // The timelines are anchored by the capture time of each stream's first chunk, not by the
  // session start: a device's first sample arrives some time after it is started.
  micToDesktop_.Reset();
  micToApp_.Reset();
  micForMix_.SetFormat(loopRate_, loopChannels_);
  micForApp_.SetFormat(kProcessCaptureRate, kProcessCaptureChannels);
  micForMix_.Clear();
  micForApp_.Clear();
  unmixed_.clear();
  desktopFramesMixed_ = 0;
  appFramesMixed_ = 0;
}

void AudioPipeline::EndSession() {
  mixer_.SetTargetProcess(0);
  mixer_.Stop();
  // Stopped, not released: the next session starts on the same prepared devices.
  parts_.loopback->Stop();
  parts_.microphone->Stop();
  desktopRunning_ = false;
  microphoneStarted_ = false;
  for (Track* t : {&desktop_, &game_, &microphone_, &mix_, &appMix_}) {
    t->timeline.Reset();
    t->overlapFrames = 0;
  }
  micToDesktop_.Reset();
  micToApp_.Reset();
  micForMix_.Clear();
  micForApp_.Clear();
  unmixed_.clear();
}

size_t AudioPipeline::EncodeFrames(Track& track, const float* samples, int frames,
                                   PacketHistory& history) {
  std::vector<EncodedAudioPacket> packets;
  track.encoder.Encode(samples, frames, packets);
  for (EncodedAudioPacket& p : packets) {
    const int64_t stamp = track.timeline.TimeOfSample(p.pts - track.base);
    history.Append(std::move(p.bytes), true, stamp, p.duration);
  }
  return packets.size();
}

// A hole in capture is written as silence of its length: players lay a track's packets end to
// end, so a hole left only in the time stamps would move all later sound early by its length.
size_t AudioPipeline::FillSilence(Track& track, int64_t silenceNs, int inputRate, int channels,
                                  PacketHistory& history) {
  if (silenceNs <= 0 || silenceNs > kMaxSilenceNs || channels <= 0) return 0;
  int64_t left = MulDivRound(silenceNs, inputRate, 1'000'000'000);
  size_t packets = 0;
  std::vector<float> silence;
  while (left > 0) {
    const int frames = static_cast<int>(std::min<int64_t>(left, inputRate));  // a second at most
    silence.assign(static_cast<size_t>(frames) * channels, 0.0f);
    track.timeline.AddChunk(track.timeline.ExpectedNs(), frames, inputRate, quality_.sampleRate);
    packets += EncodeFrames(track, silence.data(), frames, history);
    left -= frames;
  }
  return packets;
}

size_t AudioPipeline::EncodeInto(Track& track, const float* samples, int frames, int inputRate,
                                 int channels, int64_t captureNs, PacketHistory& history,
                                 const char* gapLine, bool encode) {
  if (frames <= 0) return 0;
  const bool encoding = track.open && encode;
  size_t packets = 0;
  int64_t gap = 0;
  if (encoding) {
    const int64_t silence = track.timeline.SilenceBefore(captureNs);
    if (silence >= AudioTimeline::kContinuityNs) gap = silence;
    packets += FillSilence(track, silence, inputRate, channels, history);
    // The capture's delay shrank: this much sound repeats time already in the track.
    if (silence < 0) track.overlapFrames += MulDivRound(-silence, inputRate, 1'000'000'000);
    const int64_t dropped = std::min<int64_t>(track.overlapFrames, frames);
    if (dropped > 0) {
      track.overlapFrames -= dropped;
      samples += dropped * channels;
      frames -= static_cast<int>(dropped);
      captureNs += FramesToNs(dropped, inputRate);
      if (frames <= 0) return packets;
    }
  }
  const int64_t late = track.timeline.AddChunk(captureNs, frames, inputRate, quality_.sampleRate);
  if (late > 0) gap = late;
  if (gap > 0 && gapLine != nullptr) {
    log::Line(std::string(gapLine) + Milliseconds(gap) + " ms; se conserva en el timeline del clip.");
  }
  if (!encoding) return packets;
  return packets + EncodeFrames(track, samples, frames, history);
}

// `endNs`: capture time just after the chunk's last sample. The resamplers' few samples of delay
// are far inside the alignment's slack.
void AudioPipeline::QueueMicrophoneForMixes(const std::vector<float>& samples, int64_t endNs) {
  const size_t frames = samples.size() / static_cast<size_t>(micChannels_);
  if (mix_.open) {
    std::vector<float>& out = micForMix_.Samples();
    const size_t before = out.size();
    if (windows10Mode_) {
      std::vector<float> lifted(samples);
      for (float& s : lifted) s = std::clamp(s * kW10MicrophoneBoost, -kPeakLimit, kPeakLimit);
      mixer_.ResampleMicrophoneForMix(lifted, micRate_, micChannels_, loopRate_, loopChannels_,
                                      out);
    } else if (micRate_ == loopRate_) {
      MapMicrophoneChannels(samples.data(), static_cast<int>(frames), micChannels_,
                            loopChannels_, out);
    } else {
      micToDesktop_.Convert(samples, micRate_, micChannels_, loopRate_, loopChannels_, out);
    }
    micForMix_.Appended(out.size() - before, endNs);
    micForMix_.KeepNewest(static_cast<size_t>(loopRate_) * loopChannels_ * kMicPendingMs / 1000);
  }
  if (appMix_.open && !windows10Mode_) {
    std::vector<float>& out = micForApp_.Samples();
    const size_t before = out.size();
    if (micRate_ == kProcessCaptureRate) {
      MapMicrophoneChannels(samples.data(), static_cast<int>(frames), micChannels_,
                            kProcessCaptureChannels, out);
    } else {
      micToApp_.Convert(samples, micRate_, micChannels_, kProcessCaptureRate,
                        kProcessCaptureChannels, out);
    }
    micForApp_.Appended(out.size() - before, endNs);
    micForApp_.KeepNewest(static_cast<size_t>(kProcessCaptureRate) * kProcessCaptureChannels *
                          kMicPendingMs / 1000);
  }
}

// The microphone captured during the block is added to it; what belongs later waits.
void AudioPipeline::AddPendingMicrophone(PendingAudio& pending, int64_t startNs,
                                         std::vector<float>& block, int channels) const {
  const int frames = static_cast<int>(block.size() / static_cast<size_t>(channels));
  pending.AddInto(startNs, frames, 1.0f, block.data());
  LimitPeak(block);
}

void AudioPipeline::MixWaiting(AudioHistories& histories, int64_t beforeNs) {
  while (!unmixed_.empty()) {
    const AudioChunk& chunk = unmixed_.front();
    const int64_t frames =
        static_cast<int64_t>(chunk.samples.size() / static_cast<size_t>(loopChannels_));
    if (beforeNs != 0 && chunk.captureNs + FramesToNs(frames, loopRate_) > beforeNs) break;
    MixChunk(chunk, histories);
    unmixed_.pop_front();
  }
}

// The mixes follow the desktop loopback: each desktop chunk makes one block of the desktop mix
// and one per-application block of the same length at 48 kHz, both at the chunk's time on their
// timelines. Every other stream is lined up with that time by its own capture times. The
// microphone goes into the block that is the clip's main track (the application mix, or the
// desktop mix where there is none) and into the desktop mix in every case.
void AudioPipeline::MixChunk(const AudioChunk& chunk, AudioHistories& histories) {
  const int frames = static_cast<int>(chunk.samples.size() / static_cast<size_t>(loopChannels_));
  if (frames <= 0) return;
  if (mix_.open) {
    std::vector<float> block = chunk.samples;
    AddPendingMicrophone(micForMix_, BlockStart(mix_.timeline, chunk.captureNs), block,
                         loopChannels_);
    counters_.mix +=
        EncodeInto(mix_, block.data(), frames, loopRate_, loopChannels_, chunk.captureNs,
                   histories.mix, nullptr);
  }
  if (windows10Mode_ || (!game_.open && !appMix_.open)) return;

  const int64_t target =
      MulDivRound(desktopFramesMixed_ + frames, kProcessCaptureRate, loopRate_);
  const int blockFrames = static_cast<int>(target - appFramesMixed_);
  desktopFramesMixed_ += frames;
  appFramesMixed_ = target;
  if (blockFrames <= 0) return;

  const int64_t startNs =
      BlockStart(appMix_.open ? appMix_.timeline : game_.timeline, chunk.captureNs);
  std::vector<float> appOut, gameOut;
  int rate = 0, channels = 0;
  const size_t count = static_cast<size_t>(blockFrames) * kProcessCaptureChannels;
  if (!mixer_.MixFrames(blockFrames, startNs, appOut, gameOut, rate, channels) ||
      rate != kProcessCaptureRate || channels != kProcessCaptureChannels) {
    // No program could be captured: the main track still carries the microphone and keeps time.
    appOut.assign(count, 0.0f);
    gameOut.assign(count, 0.0f);
  }
  EncodeInto(game_, gameOut.data(), blockFrames, kProcessCaptureRate, kProcessCaptureChannels,
             chunk.captureNs, histories.game, nullptr);
  if (appMix_.open) {
    AddPendingMicrophone(micForApp_, startNs, appOut, kProcessCaptureChannels);
    EncodeInto(appMix_, appOut.data(), blockFrames, kProcessCaptureRate,
               kProcessCaptureChannels, chunk.captureNs, histories.appMix, nullptr);
  }
}

void AudioPipeline::Pump(AudioHistories& histories) {
  std::vector<AudioChunk> chunks;
  if (desktopRunning_) {
    parts_.loopback->Read(chunks);
    for (AudioChunk& chunk : chunks) {
      const int frames =
          static_cast<int>(chunk.samples.size() / static_cast<size_t>(loopChannels_));
      if (chunk.captureNs == 0) {
        chunk.captureNs = Now() - FramesToNs(frames, loopRate_);
      }
      counters_.desktop += EncodeInto(desktop_, chunk.samples.data(), frames, loopRate_,
                                      loopChannels_, chunk.captureNs, histories.desktop,
                                      kDesktopGapLine);
    }
  }

  if (microphoneStarted_) {
    AudioChunk mic;
    if (parts_.microphone->Read(mic) && !mic.samples.empty()) {
      const int frames = static_cast<int>(mic.samples.size() / static_cast<size_t>(micChannels_));
      if (mic.captureNs == 0) {
        mic.captureNs = Now() - FramesToNs(frames, micRate_);
      }
      for (float& s : mic.samples) s *= micGain_;
      // Without editor channels the microphone has no track of its own, but its timeline still
      // watches for gaps.
      counters_.microphone +=
          EncodeInto(microphone_, mic.samples.data(), frames, micRate_, micChannels_,
                     mic.captureNs, histories.microphone, kMicrophoneGapLine,
                     quality_.editorTracks);
      QueueMicrophoneForMixes(mic.samples, mic.captureNs + FramesToNs(frames, micRate_));
    }
  }

  for (AudioChunk& chunk : chunks) unmixed_.push_back(std::move(chunk));
  MixWaiting(histories, Now() - kMixDelayNs);
}

void AudioPipeline::FlushTrack(Track& track, int inputRate, int channels, PacketHistory& history) {
  if (!track.open || !track.timeline.Started() || inputRate <= 0 || channels <= 0) return;
  // Silence enough to complete the partly filled frame, so its samples reach the history.
  const int64_t frames =
      MulDivRound(track.encoder.GetFrameSize(), inputRate, track.encoder.OutputRate()) + 1;
  std::vector<float> silence(static_cast<size_t>(frames * channels), 0.0f);
  std::vector<EncodedAudioPacket> packets;
  track.encoder.Encode(silence.data(), static_cast<int>(frames), packets);
  for (EncodedAudioPacket& p : packets) {
    history.Append(std::move(p.bytes), true, track.timeline.TimeOfSample(p.pts - track.base),
                   p.duration);
  }
}

void AudioPipeline::Flush(AudioHistories& histories) {
  MixWaiting(histories, 0);
  parts_.loopback->Close();
  FlushTrack(desktop_, loopRate_, loopChannels_, histories.desktop);
  FlushTrack(game_, kProcessCaptureRate, kProcessCaptureChannels, histories.game);
  parts_.microphone->Close();
  FlushTrack(microphone_, micRate_, micChannels_, histories.microphone);
  FlushTrack(mix_, loopRate_, loopChannels_, histories.mix);
  FlushTrack(appMix_, kProcessCaptureRate, kProcessCaptureChannels, histories.appMix);
  mixer_.Stop();
  loopbackOpen_ = microphoneOpen_ = desktopRunning_ = microphoneStarted_ = false;
}

AudioState AudioPipeline::State() const {
  AudioState s;
  // A capture whose device or server has been gone for a while counts as not running.
  s.desktopLost = desktopRunning_ && parts_.loopback->Ended();
  s.desktopRunning = desktopRunning_ && !s.desktopLost;
  s.windows10Mode = windows10Mode_;
  s.appMixOpen = appMix_.open;
  s.mixOpen = mix_.open;
  s.micLost = microphoneStarted_ && parts_.microphone->Ended();
  s.micStarted = microphoneStarted_ && !s.micLost;
  s.micOpen = microphoneOpen_ && microphone_.open;
  s.gameOpen = game_.open;
  s.editorChannels = quality_.editorTracks;
  return s;
}

AudioStreamParams AudioPipeline::StreamParams(AudioSource source) const {
  switch (source) {
    case AudioSource::Desktop: return desktop_.encoder.GetStreamParams();
    case AudioSource::Microphone: return microphone_.encoder.GetStreamParams();
    case AudioSource::Game: return game_.encoder.GetStreamParams();
    case AudioSource::Mix: return mix_.encoder.GetStreamParams();
    case AudioSource::AppMix: return appMix_.encoder.GetStreamParams();
  }
  return {};
}

AudioPipelineParts PlatformAudioParts(IAudioSessions* sessions, AudioProcessId ownPid) {
  AudioPipelineParts parts;
  parts.loopback = MakeLoopbackCapture();
  parts.microphone = MakeMicrophoneCapture();
  parts.sessions = sessions;
  parts.ownPid = ownPid;
  return parts;
}

}  // namespace halvex
