#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "clipfile/local_file.h"

namespace halvex {

bool FlushFileToDisk(const std::filesystem::path& path, std::string& error) {
  // fsync on any descriptor of the file writes back the file's cached pages.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  const bool ok = ::fsync(fd) == 0;
  if (!ok) error = std::strerror(errno);
  ::close(fd);
  return ok;
}

void FlushFolderToDisk(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace halvex
