#include "app/save_job.h"

#include <cstdio>
#include <string>
#include <system_error>

#include "clipfile/clip_interleave.h"
#include "clipfile/discord_export.h"
#include "clipfile/mp4_muxer.h"
#include "core/log.h"
#include "core/log_path.h"
#include "core/text.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

std::string OneDecimal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

// Writes and publishes the clip; false leaves nothing under the clip's name. `partialRemoved`
// tells whether an unfinished file had to be removed.
bool WriteClip(SaveJob& job, size_t counts[3], bool& partialRemoved) {
  Mp4Muxer muxer;
  struct NoteRemoval {
    Mp4Muxer& muxer;
    bool& removed;
    ~NoteRemoval() { removed = muxer.PartialFileRemoved(); }
  } note{muxer, partialRemoved};
  if (!muxer.Open(job.path, job.width, job.height, job.frameRate, job.codec)) {
    muxer.Abort();
    return false;
  }
  struct Track {
    bool chosen;
    const AudioStreamParams* params;
    const char* title;
    const std::vector<EncodedPacket>* packets;
  };
  const Track tracks[3] = {{job.hasMain, &job.mainParams, "Mezcla principal", &job.mainAudio},
                           {job.hasMic, &job.micParams, "Solo microfono", &job.micAudio},
                           {job.hasGame, &job.gameParams, "Solo juego", &job.gameAudio}};
  std::vector<ClipAudioInput> inputs;
  for (const Track& t : tracks) {
    int index = -1;
    if (t.chosen) {
      index = muxer.AddAudioTrack(*t.params, t.title);
      if (index < 0) {
        muxer.Abort();
        return false;
      }
    }
    inputs.push_back({t.packets, index, t.params->sampleRate});
  }
  const ClipWriteResult written = WriteClipPackets(muxer, job.video, inputs, job.frameRate);
  for (size_t i = 0; i < 3; ++i) counts[i] = i < written.audioInSpan.size() ? written.audioInSpan[i] : 0;
  if (!written.ok) {
    // A failed write must not be published, even partly.
    muxer.Abort();
    return false;
  }
  return muxer.Close();
}

void MakeCopy(SaveJob& job) {
  SaveFlags* flags = job.flags;
  const DiscordCopyResult copy = MakeDiscordCopy(job.path, job.discordHevc, [flags](int percent) {
    if (!flags) return;
    flags->exporting = true;
    flags->exportProgress = percent;
  });
  if (!flags) return;
  flags->exporting = false;
  if (copy.outcome == DiscordCopyResult::Outcome::Made) {
    flags->exportProgress = 100;
    flags->copyReadyNotices.fetch_add(1);
  } else if (copy.outcome == DiscordCopyResult::Outcome::Failed) {
    flags->exportProgress = 0;
  }
}

}  // namespace

bool RunSaveJob(std::unique_ptr<SaveJob> job) {
  if (!job) return false;
  SaveFlags* flags = job->flags;
  size_t counts[3] = {0, 0, 0};
  bool partialRemoved = false;
  const bool ok = WriteClip(*job, counts, partialRemoved);
  if (ok) {
    if (flags) {
      flags->clipsSaved.fetch_add(1);
      flags->clipSavedNotices.fetch_add(1);
    }
    log::Line("[F8] Clip guardado: " + text::PathForLog(job->path) + " (" +
              std::to_string(job->video.size()) + " video, " + std::to_string(counts[0]) +
              " mezcla, " + std::to_string(counts[1]) + " microfono, " +
              std::to_string(counts[2]) + " juego | " +
              OneDecimal(static_cast<double>(job->end - job->start) / 1e9) + "s)");
    if (job->makeDiscordCopy) MakeCopy(*job);
  } else {
    // The muxer writes under a temporary name, so only that is ours to remove: whatever sits
    // under the final name belongs to someone else.
    std::error_code ec;
    if (fs::remove(Mp4Muxer::TemporaryPathFor(job->path), ec)) partialRemoved = true;
    log::Line("[F8] ERROR al escribir " + text::PathForLog(job->path) +
              (partialRemoved ? "; archivo parcial eliminado." : "; no se creo ningun archivo."));
  }
  if (flags) {
    flags->exporting = false;
    flags->exportProgress = 0;
    flags->saving = false;
  }
  return ok;
}

}  // namespace halvex
