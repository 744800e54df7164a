#include "audio/audio_mixer.h"

#include <algorithm>
#include <cmath>

#include "audio/volume_curve.h"
#include "core/log.h"
#include "settings/audio_settings.h"
#include "settings/executable_name.h"

namespace halvex {
namespace {

// System mixing and effects processes: their sessions carry everybody's sound again.
constexpr std::string_view kIgnoredImages[] = {"audiodg.exe", "dfx.exe", "steelseriessonar.exe"};

std::string SourceIdentity(AudioProcessId pid, const std::string& lowerImage) {
  return lowerImage.empty() ? "pid:" + std::to_string(pid) : lowerImage;
}

}  // namespace

AudioMixer::AudioMixer(IAudioSessions& sessions, AudioProcessId ownPid)
    : sessions_(sessions), ownPid_(ownPid) {}

AudioMixer::~AudioMixer() { Stop(); }

bool AudioMixer::IsExcluded(const std::string& lowerImage) const {
  return !lowerImage.empty() &&
         std::find(excluded_.begin(), excluded_.end(), lowerImage) != excluded_.end();
}

bool AudioMixer::InGameTree(AudioProcessId pid) const {
  if (gamePid_ == 0) return false;
  if (pid == gamePid_) return true;
  return gameTree_ && gameTree_(pid);
}

void AudioMixer::UseProcessFormat() {
  outRate_ = kProcessCaptureRate;
  outChannels_ = kProcessCaptureChannels;
}

bool AudioMixer::GameCapturing() const { return gameCapture_ && gameCapture_->Running(); }

void AudioMixer::StartGameCapture() {
  StopGameCapture();
  if (gamePid_ == 0 || gameExcluded_ || !sessions_.PerProcessSupported()) return;
  UseProcessFormat();
  gameCapture_ = sessions_.StartCapture(deviceId_, {gamePid_, true, gameTree_});
}

void AudioMixer::StopGameCapture() {
  gameCapture_.reset();
  gamePending_.Clear();
}

void AudioMixer::SetTargetProcess(AudioProcessId pid, std::string imageName,
                                  std::function<bool(AudioProcessId)> inTree) {
  gamePid_ = pid;
  gameImage_ = settings::ProgramFileNameLower(imageName);
  gameTree_ = std::move(inTree);
  gameKey_ = pid == 0 ? std::string() : settings::MixerLevelKey(SourceIdentity(pid, gameImage_));
  gameExcluded_ = IsExcluded(gameImage_);
  if (pid == 0) {
    StopGameCapture();
    return;
  }
  // A program listed before it became the game would otherwise be mixed twice until the next
  // refresh: once as the game and once as a program.
  std::erase_if(sources_, [this](const MixSource& s) { return InGameTree(s.pid); });
  StartGameCapture();
}

void AudioMixer::SetExcludedAudio(std::vector<std::string> names) {
  for (std::string& name : names) name = settings::ProgramFileNameLower(name);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  excluded_ = std::move(names);

  const bool wasExcluded = gameExcluded_;
  gameExcluded_ = gamePid_ != 0 && IsExcluded(gameImage_);
  if (gameExcluded_) {
    StopGameCapture();
    if (!wasExcluded) gameVolume_ = 1.0f;
  } else if (wasExcluded && gamePid_ != 0) {
    StartGameCapture();
  }
  // Programs excluded now leave the application mix at once, not at the next refresh.
  std::erase_if(sources_, [this](const MixSource& s) { return IsExcluded(s.identity); });
}

void AudioMixer::SetVolume(std::string_view key, float value) {
  const float v = std::isnan(value) ? 1.0f : std::clamp(value, 0.0f, 1.0f);
  if (!gameKey_.empty() && key == gameKey_) gameVolume_ = v;
  for (MixSource& source : sources_) {
    if (source.key != key) continue;
    source.volume = v;
    // Without per-process capture the loopback carries the program: set its system level.
    if (!sessions_.PerProcessSupported()) sessions_.SetSessionVolume(deviceId_, source.pid, v);
  }
}

bool AudioMixer::RefreshSources() {
  std::vector<AudioSessionInfo> sessions;
  if (!sessions_.List(deviceId_, sessions)) sessions.clear();

  struct Found {
    AudioProcessId pid;
    std::string image;
    std::string product;
  };
  std::vector<Found> found;
  for (const AudioSessionInfo& s : sessions) {
    if (s.pid == 0 || s.pid == ownPid_) continue;
    const std::string image = settings::ProgramFileNameLower(s.imageName);
    if (IsExcluded(image)) continue;
    if (std::find(std::begin(kIgnoredImages), std::end(kIgnoredImages), image) !=
        std::end(kIgnoredImages)) {
      continue;
    }
    if (std::any_of(found.begin(), found.end(), [&](const Found& f) { return f.pid == s.pid; })) {
      continue;
    }
    found.push_back({s.pid, image, s.productName});
  }

  std::vector<MixSource> next;
  for (const Found& f : found) {
    if (next.size() == kMaxSources) break;
    // The game's tree is captured as the game; counting it again would double its sound.
    if (InGameTree(f.pid)) continue;
    MixSource source;
    auto old = std::find_if(sources_.begin(), sources_.end(),
                            [&](const MixSource& s) { return s.pid == f.pid; });
    if (old != sources_.end()) {
      source = std::move(*old);
    } else {
      source.pid = f.pid;
      source.identity = SourceIdentity(f.pid, f.image);
      source.key = settings::MixerLevelKey(source.identity);
      source.name = f.product.empty() ? "Aplicación (PID " + std::to_string(f.pid) + ")"
                                      : f.product;
      if (sessions_.PerProcessSupported()) {
        UseProcessFormat();
        source.capture = sessions_.StartCapture(deviceId_, {f.pid, false, {}});
      }
    }
    source.capturing = source.capture && source.capture->Running();
    next.push_back(std::move(source));
  }
  sources_ = std::move(next);  // the records left behind stop their captures here

  std::string key;
  for (const MixSource& s : sources_) {
    key += s.key + "/" + std::to_string(s.pid) + (s.capturing ? "#1;" : "#0;");
  }
  if (key == changeKey_) return false;
  changeKey_ = key;
  std::string line = "[AUDIO-MIX] fuentes=" + std::to_string(sources_.size()) + " | ";
  if (sources_.empty()) line += "ninguna";
  for (size_t i = 0; i < sources_.size(); ++i) {
    const MixSource& s = sources_[i];
    if (i > 0) line += ", ";
    line += s.name + " (PID " + std::to_string(s.pid) +
            (s.capturing ? ", capturando" : ", sin worker") + ")";
  }
  log::Line(line);
  return true;
}

void AudioMixer::Drain(IProcessCapture& capture, PendingAudio& pending) const {
  pending.SetFormat(outRate_, outChannels_);
  const QueuedAudio taken = capture.TakeQueued(pending.Samples());
  pending.Appended(taken.samples, taken.endNs);
  // A source that stalled and resumed must not delay the mix by more than half a second.
  pending.KeepNewest(static_cast<size_t>(outChannels_) * kPendingFrames);
}

bool AudioMixer::MixFrames(int frames, int64_t startNs, std::vector<float>& mixOut,
                           std::vector<float>& gameOut, int& outRate, int& outChannels) {
  if (frames <= 0 || outRate_ <= 0 || outChannels_ <= 0) return false;
  outRate = outRate_;
  outChannels = outChannels_;
  const size_t n = static_cast<size_t>(frames) * outChannels_;
  mixOut.assign(n, 0.0f);
  gameOut.assign(n, 0.0f);

  if (gameCapture_ && gameCapture_->Running() && !gameExcluded_) {
    Drain(*gameCapture_, gamePending_);
    gamePending_.AddInto(startNs, frames, VolumeToGain(gameVolume_), mixOut.data(),
                         gameOut.data());
  }

  for (MixSource& source : sources_) {
    if (!source.capture || !source.capture->Running()) continue;
    Drain(*source.capture, source.pending);
    source.pending.AddInto(startNs, frames, VolumeToGain(source.volume), mixOut.data());
  }

  float peak = 0.0f;
  for (float s : mixOut) peak = std::max(peak, std::fabs(s));
  if (peak > kPeakLimit) {
    const float scale = kPeakLimit / peak;
    for (float& s : mixOut) s *= scale;
  }
  return true;
}

void AudioMixer::Stop() {
  sources_.clear();
  StopGameCapture();
  gamePid_ = 0;
  gameTree_ = {};
  changeKey_.clear();
}

}  // namespace halvex
