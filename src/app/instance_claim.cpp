#include "app/instance_claim.h"

#include "core/log.h"

namespace halvex {

SingleInstance::Claim ClaimInstance(IInstanceSeam& seam, Sleeper& sleeper,
                                    UnansweredWake unanswered) {
  using Wake = IInstanceSeam::Wake;
  SingleInstance::Claim claim;
  const IInstanceSeam::Lock lock = seam.TakeClaim(claim.error);
  if (lock == IInstanceSeam::Lock::Failed) return claim;
  const bool heldElsewhere = lock == IInstanceSeam::Lock::HeldElsewhere;

  // Even a free claim looks for a running instance first: one that can be woken is the primary.
  Wake wake = Wake::NotFound;
  for (int i = 0; i < kInstanceWakeAttempts && wake == Wake::NotFound; ++i) {
    wake = seam.TryWake();
    if (wake == Wake::NotFound && heldElsewhere) sleeper.SleepFor(kInstanceWakePauseNs);
  }
  if (wake == Wake::NotFound && !heldElsewhere) {
    claim.result = SingleInstance::Result::Primary;
    claim.instance = seam.BecomePrimary();
    return claim;
  }
  // The running instance may still be starting: give it a little longer.
  for (int i = 0; i < kInstanceWakeAttempts && wake == Wake::NotFound; ++i) {
    sleeper.SleepFor(kInstanceWakePauseNs);
    wake = seam.TryWake();
  }
  seam.LetGo();
  // Not reaching it is no failure: this start ends all the same.
  claim.result = SingleInstance::Result::HandedOver;
  claim.woken = wake == Wake::Delivered;
  if (!claim.woken && unanswered == UnansweredWake::Logged) log::Line(kInstanceUnansweredLine);
  return claim;
}

}  // namespace halvex
