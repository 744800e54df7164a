// Single instance on Linux: whoever holds flock() on a lock file is the primary and listens on a
// Unix socket beside it; a later instance connects and sends "wake". The lock, not the socket
// file, decides: a socket left behind by a crashed run is unlinked and bound again.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/single_instance.h"
#include "core/log.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLockName = "halvex.lock";
constexpr const char* kSocketName = "halvex.sock";
constexpr std::string_view kWake = "wake\n";
// The primary may be between taking the lock and binding its socket; keep trying for ~1 s.
constexpr int kConnectAttempts = 40;
constexpr auto kConnectPause = std::chrono::milliseconds(25);
constexpr size_t kMaxPendingClients = 8;

std::string ErrnoText(int e) { return std::string(std::strerror(e)); }

bool FillAddress(const fs::path& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::string s = path.string();
  if (s.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
  return true;
}

// The /tmp fallback is shared with every user: use it only when it is our own private folder.
bool EnsurePrivateFolder(const fs::path& folder, std::string& error) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "no se pudo crear " + folder.string() + ": " + ErrnoText(errno);
    return false;
  }
  struct stat st{};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 077) != 0) {
    error = "la carpeta " + folder.string() + " no es privada de este usuario";
    return false;
  }
  return true;
}

class LinuxSingleInstance final : public SingleInstance {
 public:
  LinuxSingleInstance(int lockFd, int listenFd, fs::path socketPath, ino_t socketInode)
      : lockFd_(lockFd), listenFd_(listenFd), socketPath_(std::move(socketPath)),
        socketInode_(socketInode) {}

  ~LinuxSingleInstance() override {
    for (const Client& c : clients_) ::close(c.fd);
    if (listenFd_ >= 0) {
      ::close(listenFd_);
      // Only our own socket file: never one a later primary has bound meanwhile.
      struct stat st{};
      if (::lstat(socketPath_.c_str(), &st) == 0 && st.st_ino == socketInode_) {
        ::unlink(socketPath_.c_str());
      }
    }
    ::close(lockFd_);  // releases the lock
  }

  bool PollWake() override {
    bool woke = false;
    if (listenFd_ >= 0) {
      for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        if (clients_.size() >= kMaxPendingClients) {
          ::close(clients_.front().fd);
          clients_.erase(clients_.begin());
        }
        clients_.push_back({fd, {}});
      }
    }
    for (size_t i = 0; i < clients_.size();) {
      Client& c = clients_[i];
      char buf[16];
      bool done = false;
      for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
          c.received.append(buf, static_cast<size_t>(n));
          if (c.received.size() >= kWake.size()) break;
          continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) done = true;
        break;
      }
      if (c.received.starts_with("wake")) {
        woke = true;
        done = true;
      } else if (c.received.size() >= kWake.size()) {
        done = true;  // not ours to understand
      }
      if (done) {
        ::close(c.fd);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
    return woke;
  }

 private:
  struct Client {
    int fd;
    std::string received;
  };

  int lockFd_;
  int listenFd_;
  fs::path socketPath_;
  ino_t socketInode_;
  std::vector<Client> clients_;
};

int Listen(const fs::path& socketPath, ino_t& inode, std::string& error) {
  sockaddr_un addr{};
  if (!FillAddress(socketPath, addr)) {
    error = "ruta de socket demasiado larga: " + socketPath.string();
    return -1;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = "socket: " + ErrnoText(errno);
    return -1;
  }
  ::unlink(socketPath.c_str());  // stale file of a run that crashed; we hold the lock
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd, 8) != 0) {
    error = "no se pudo escuchar en " + socketPath.string() + ": " + ErrnoText(errno);
    ::close(fd);
    return -1;
  }
  struct stat st{};
  inode = ::lstat(socketPath.c_str(), &st) == 0 ? st.st_ino : 0;
  return fd;
}

bool SendWake(const fs::path& socketPath) {
  sockaddr_un addr{};
  if (!FillAddress(socketPath, addr)) return false;
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    // Non-blocking: a full backlog answers EAGAIN instead of holding this process up.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      const bool sent = ::send(fd, kWake.data(), kWake.size(), MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(kWake.size());
      ::close(fd);
      return sent;
    }
    ::close(fd);
    std::this_thread::sleep_for(kConnectPause);
  }
  return false;
}

}  // namespace

fs::path SingleInstance::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && fs::path(runtime).is_absolute()) return fs::path(runtime);
  return fs::path("/tmp") / ("halvex-" + std::to_string(::getuid()));
}

SingleInstance::Claim SingleInstance::Acquire() { return Acquire(DefaultFolder()); }

SingleInstance::Claim SingleInstance::Acquire(const fs::path& folder) {
  Claim claim;
  if (!EnsurePrivateFolder(folder, claim.error)) return claim;
  const fs::path lockPath = folder / kLockName;
  const fs::path socketPath = folder / kSocketName;
  const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd < 0) {
    claim.error = "no se pudo abrir " + lockPath.string() + ": " + ErrnoText(errno);
    return claim;
  }
  int rc;
  do rc = ::flock(lockFd, LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int e = errno;
    ::close(lockFd);
    if (e != EWOULDBLOCK) {
      claim.error = "no se pudo bloquear " + lockPath.string() + ": " + ErrnoText(e);
      return claim;
    }
    // Another instance runs. Like the wake message on Windows, not reaching it is no failure.
    if (!SendWake(socketPath)) {
      log::Line("Halvex ya se esta ejecutando, pero no respondio al aviso.");
    }
    claim.result = Result::HandedOver;
    return claim;
  }
  ino_t inode = 0;
  std::string listenError;
  const int listenFd = Listen(socketPath, inode, listenError);
  if (listenFd < 0) {
    // Still the only instance; a second one simply cannot wake this one.
    log::Warning(listenError);
  }
  claim.result = Result::Primary;
  claim.instance = std::make_unique<LinuxSingleInstance>(lockFd, listenFd, socketPath, inode);
  return claim;
}

}  // namespace halvex
