// Single instance on Linux: whoever holds flock() on a lock file is the primary and listens on a
// Unix socket beside it; a later instance connects and sends "wake". The lock, not the socket
// file, decides: a socket left behind by a crashed run is unlinked and bound again. How long a
// later start keeps trying is decided in app/instance_claim.cpp.
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
#include <utility>
#include <vector>

#include "app/instance_claim.h"
#include "app/single_instance.h"
#include "app/sleeper.h"
#include "core/log.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLockName = "halvex.lock";
constexpr const char* kSocketName = "halvex.sock";
constexpr std::string_view kWake = "wake\n";
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

// The lock file and the socket beside it in one folder.
class LinuxInstanceSeam final : public IInstanceSeam {
 public:
  explicit LinuxInstanceSeam(const fs::path& folder)
      : folder_(folder), lockPath_(folder / kLockName), socketPath_(folder / kSocketName) {}
  ~LinuxInstanceSeam() override { LetGo(); }

  Lock TakeClaim(std::string& error) override {
    if (!EnsurePrivateFolder(folder_, error)) return Lock::Failed;
    lockFd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
      error = "no se pudo abrir " + lockPath_.string() + ": " + ErrnoText(errno);
      return Lock::Failed;
    }
    int rc;
    do rc = ::flock(lockFd_, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) return Lock::Taken;
    const int e = errno;
    LetGo();
    if (e != EWOULDBLOCK) {
      error = "no se pudo bloquear " + lockPath_.string() + ": " + ErrnoText(e);
      return Lock::Failed;
    }
    return Lock::HeldElsewhere;
  }

  // Nobody listening (yet) is NotFound: the primary may be between taking the lock and binding
  // its socket.
  Wake TryWake() override {
    sockaddr_un addr{};
    if (!FillAddress(socketPath_, addr)) return Wake::NotFound;
    // Non-blocking: a full backlog answers EAGAIN instead of holding this process up.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Wake::NotFound;
    Wake wake = Wake::NotFound;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      const bool sent = ::send(fd, kWake.data(), kWake.size(), MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(kWake.size());
      wake = sent ? Wake::Delivered : Wake::Refused;
    }
    ::close(fd);
    return wake;
  }

  std::unique_ptr<SingleInstance> BecomePrimary() override {
    ino_t inode = 0;
    std::string listenError;
    const int listenFd = Listen(socketPath_, inode, listenError);
    if (listenFd < 0) {
      // Still the only instance; a second one simply cannot wake this one.
      log::Warning(listenError);
    }
    const int lockFd = std::exchange(lockFd_, -1);
    return std::make_unique<LinuxSingleInstance>(lockFd, listenFd, socketPath_, inode);
  }

  void LetGo() override {
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
  }

 private:
  fs::path folder_;
  fs::path lockPath_;
  fs::path socketPath_;
  int lockFd_ = -1;
};

}  // namespace

fs::path SingleInstance::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && fs::path(runtime).is_absolute()) return fs::path(runtime);
  return fs::path("/tmp") / ("halvex-" + std::to_string(::getuid()));
}

SingleInstance::Claim SingleInstance::Acquire() { return Acquire(DefaultFolder()); }

SingleInstance::Claim SingleInstance::Acquire(const fs::path& folder) {
  LinuxInstanceSeam seam(folder);
  ThreadSleeper sleeper;
  return ClaimInstance(seam, sleeper, UnansweredWake::Logged);
}

}  // namespace halvex
