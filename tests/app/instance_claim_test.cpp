// The single-instance start against a scripted platform: when it waits, how often it tries, when
// it becomes the primary and what a start that hands over says.
#include "app/instance_claim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/sleeper.h"
#include "core/log.h"

namespace halvex {
namespace {

using Lock = IInstanceSeam::Lock;
using Wake = IInstanceSeam::Wake;
using Result = SingleInstance::Result;

class FakePrimary final : public SingleInstance {
 public:
  bool PollWake() override { return false; }
};

// Answers NotFound until attempt `answerAt` (1-based; 0 = never), then `answer`. Records what was
// asked in order: T take, W wake attempt, P pause, B become primary, L let go.
class ScriptedSeam final : public IInstanceSeam {
 public:
  ScriptedSeam(Lock lock, int answerAt, Wake answer)
      : lock_(lock), answerAt_(answerAt), answer_(answer) {}

  Lock TakeClaim(std::string& error) override {
    trace += 'T';
    if (lock_ == Lock::Failed) error = "carpeta no privada";
    return lock_;
  }
  Wake TryWake() override {
    trace += 'W';
    ++attempts;
    return attempts == answerAt_ ? answer_ : Wake::NotFound;
  }
  std::unique_ptr<SingleInstance> BecomePrimary() override {
    trace += 'B';
    return std::make_unique<FakePrimary>();
  }
  void LetGo() override { trace += 'L'; }

  std::string trace;
  int attempts = 0;

 private:
  Lock lock_;
  int answerAt_;
  Wake answer_;
};

class PauseCounter final : public Sleeper {
 public:
  explicit PauseCounter(std::string& trace) : trace_(trace) {}
  void SleepUntil(int64_t) override { ADD_FAILURE() << "the claim only pauses"; }
  void SleepFor(int64_t ns) override {
    durations.push_back(ns);
    trace_ += 'P';
  }
  std::vector<int64_t> durations;

 private:
  std::string& trace_;
};

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(InstanceClaim, WaitsTriesAndHandsOverAsTheRunningInstanceAnswers) {
  struct Case {
    const char* name;
    Lock lock;
    int answerAt;
    Wake answer;
    Result result;
    bool woken;
    std::string trace;
  };
  const std::string forty = Repeat("W", 40);
  const Case cases[] = {
      // A free claim looks 40 times without waiting, then runs.
      {"free, nobody", Lock::Taken, 0, Wake::NotFound, Result::Primary, false,
       "T" + forty + "B"},
      // A window found although the claim was free still belongs to a running instance.
      {"free, found", Lock::Taken, 3, Wake::Delivered, Result::HandedOver, true, "TWWWL"},
      {"free, refused", Lock::Taken, 1, Wake::Refused, Result::HandedOver, false, "TWL"},
      // Held elsewhere: a pause after each miss.
      {"held, answers soon", Lock::HeldElsewhere, 3, Wake::Delivered, Result::HandedOver, true,
       "TWPWPWL"},
      // The first 40 misses, then 40 more tries each after a pause.
      {"held, answers late", Lock::HeldElsewhere, 42, Wake::Delivered, Result::HandedOver, true,
       "T" + Repeat("WP", 40) + "PWPWL"},
      {"held, never", Lock::HeldElsewhere, 0, Wake::NotFound, Result::HandedOver, false,
       "T" + Repeat("WP", 40) + Repeat("PW", 40) + "L"},
      {"held, refused", Lock::HeldElsewhere, 2, Wake::Refused, Result::HandedOver, false,
       "TWPWL"},
  };
  for (const Case& c : cases) {
    ScriptedSeam seam(c.lock, c.answerAt, c.answer);
    PauseCounter pauses(seam.trace);
    const SingleInstance::Claim claim = ClaimInstance(seam, pauses, UnansweredWake::Silent);
    EXPECT_EQ(claim.result, c.result) << c.name;
    EXPECT_EQ(claim.woken, c.woken) << c.name;
    EXPECT_EQ(claim.instance != nullptr, c.result == Result::Primary) << c.name;
    EXPECT_EQ(seam.trace, c.trace) << c.name;
    for (const int64_t ns : pauses.durations) EXPECT_EQ(ns, 50'000'000) << c.name;
  }
}

TEST(InstanceClaim, FailedClaimTriesNothingAndSaysWhy) {
  ScriptedSeam seam(Lock::Failed, 1, Wake::Delivered);
  PauseCounter pauses(seam.trace);
  const SingleInstance::Claim claim = ClaimInstance(seam, pauses, UnansweredWake::Logged);
  EXPECT_EQ(claim.result, Result::Failed);
  EXPECT_EQ(claim.error, "carpeta no privada");
  EXPECT_FALSE(claim.instance);
  EXPECT_EQ(seam.trace, "T");
}

TEST(InstanceClaim, OnlyAnUnansweredHandOverIsReportedAndOnlyWhereAsked) {
  struct Case {
    Lock lock;
    int answerAt;
    Wake answer;
    UnansweredWake mode;
    bool reported;
  };
  const Case cases[] = {
      {Lock::HeldElsewhere, 0, Wake::NotFound, UnansweredWake::Logged, true},
      {Lock::HeldElsewhere, 5, Wake::Refused, UnansweredWake::Logged, true},
      {Lock::Taken, 2, Wake::Refused, UnansweredWake::Logged, true},
      {Lock::HeldElsewhere, 0, Wake::NotFound, UnansweredWake::Silent, false},
      {Lock::HeldElsewhere, 5, Wake::Delivered, UnansweredWake::Logged, false},
      {Lock::Taken, 0, Wake::NotFound, UnansweredWake::Logged, false},  // the primary
  };
  for (const Case& c : cases) {
    ScriptedSeam seam(c.lock, c.answerAt, c.answer);
    PauseCounter pauses(seam.trace);
    log::Capture lines;
    ClaimInstance(seam, pauses, c.mode);
    std::vector<std::string> expected;
    if (c.reported) expected.push_back("Halvex ya se esta ejecutando, pero no respondio al aviso.");
    EXPECT_EQ(lines.Lines(), expected) << seam.trace;
  }
}

}  // namespace
}  // namespace halvex
