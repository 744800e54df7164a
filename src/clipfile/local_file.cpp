#include "clipfile/local_file.h"

#include "core/ffmpeg_handles.h"
#include "core/text.h"

namespace halvex {

std::string LocalFileUrl(const std::filesystem::path& path) {
  return "file:" + text::PathToUtf8(path);
}

AVDictionary* LocalFileOptions() {
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  return options;
}

bool RestrictToLocalFiles(AVFormatContext* context) {
  av_freep(&context->protocol_whitelist);
  context->protocol_whitelist = av_strdup("file");
  return context->protocol_whitelist != nullptr;
}

}  // namespace halvex
