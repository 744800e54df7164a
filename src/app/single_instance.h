#pragma once
// One Halvex per user session. The first instance becomes the primary; a later one hands a wake
// request over to it and ends, before it opens a display or creates any device.
#include <filesystem>
#include <memory>
#include <string>

namespace halvex {

class SingleInstance {
 public:
  enum class Result {
    Primary,     // this process runs; `instance` holds the claim until it is destroyed
    HandedOver,  // another instance runs and was asked to wake (or could not be reached yet)
    Failed,      // the claim could not be made at all; `error` says why
  };

  struct Claim {
    Result result = Result::Failed;
    std::unique_ptr<SingleInstance> instance;  // only for Primary
    bool woken = false;                        // HandedOver: the running instance took the request
    std::string error;
  };

  // The default place: the session's runtime folder.
  static Claim Acquire();
  // Explicit folder, for tests and for callers that know better.
  static Claim Acquire(const std::filesystem::path& folder);

  // Where Acquire() keeps its files (Linux: $XDG_RUNTIME_DIR, else /tmp/halvex-UID).
  static std::filesystem::path DefaultFolder();

  virtual ~SingleInstance() = default;

  // Primary only, called once per main-loop pass: true when at least one wake request arrived
  // since the last call. Never blocks.
  virtual bool PollWake() = 0;
};

}  // namespace halvex
