#pragma once
// The single-instance start written once: how often and how long a start looks for a running
// instance, when it becomes the primary, when it hands over and what it says. The platform only
// takes the session-wide claim and makes one attempt at a time to wake the running instance.
#include <memory>
#include <string>

#include "app/single_instance.h"
#include "app/sleeper.h"

namespace halvex {

class IInstanceSeam {
 public:
  enum class Lock {
    Taken,          // this start holds the claim
    HeldElsewhere,  // another instance holds it (or made it where we cannot open it)
    Failed,         // no claim could be made; the error says why
  };
  enum class Wake {
    NotFound,   // no running instance answers yet
    Delivered,  // the running instance has the wake request
    Refused,    // the running instance was found but did not take the request
  };

  virtual ~IInstanceSeam() = default;
  virtual Lock TakeClaim(std::string& error) = 0;
  virtual Wake TryWake() = 0;
  // Keeps the claim for the life of the returned primary, listening for later starts.
  virtual std::unique_ptr<SingleInstance> BecomePrimary() = 0;
  // A start that hands over lets go of what TakeClaim made.
  virtual void LetGo() = 0;
};

inline constexpr int kInstanceWakeAttempts = 40;
inline constexpr int64_t kInstanceWakePauseNs = 50'000'000;  // 50 ms
inline constexpr char kInstanceUnansweredLine[] =
    "Halvex ya se esta ejecutando, pero no respondio al aviso.";

// Whether a start that could not wake the running instance says so (the Windows start prints
// nothing before its console line).
enum class UnansweredWake { Silent, Logged };

SingleInstance::Claim ClaimInstance(IInstanceSeam& seam, Sleeper& sleeper, UnansweredWake unanswered);

}  // namespace halvex
