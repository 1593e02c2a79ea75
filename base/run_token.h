// Runs of something that starts and stops repeatedly (a core launch, a bridge
// start), told apart by id, so that a thread of an old run that outlives its
// owner's bounded waits can neither act for a newer run nor touch freed memory.
//
// RunFlag is the owner's side: it holds the id of the current run (0: none) in a
// flag shared with every RunToken it handed out. A RunToken is a run's side: the
// run's id plus its share of that flag, so a thread holding one may outlive the
// owner. The flag changes only by atomic exchange or compare-exchange; whoever
// turns a run from current to ended (RunFlag::End or RunToken::EndIfCurrent) is
// the only one that sees it happen, and does the work that goes with the end.
//
// RunFlag::Begin is called on the owner's thread only; everything else on any
// thread.
#ifndef BASE_RUN_TOKEN_H_
#define BASE_RUN_TOKEN_H_

#include <atomic>
#include <cstdint>
#include <memory>

namespace duzavide {

class RunToken {
 public:
  RunToken() = default;

  uint64_t id() const { return id_; }
  bool IsCurrent() const { return id_ != 0 && current_->load() == id_; }

  // Ends the run if it is still the current one. True for exactly one caller.
  bool EndIfCurrent() const {
    if (id_ == 0) return false;
    uint64_t expected = id_;
    return current_->compare_exchange_strong(expected, 0);
  }

 private:
  friend class RunFlag;
  RunToken(std::shared_ptr<std::atomic<uint64_t>> current, uint64_t id)
      : current_(std::move(current)), id_(id) {}

  std::shared_ptr<std::atomic<uint64_t>> current_;
  uint64_t id_ = 0;
};

class RunFlag {
 public:
  RunFlag() : current_(std::make_shared<std::atomic<uint64_t>>(0)) {}
  RunFlag(const RunFlag&) = delete;
  RunFlag& operator=(const RunFlag&) = delete;

  // Makes a new run the current one (any earlier run is no longer current) and
  // returns its token.
  RunToken Begin() {
    const uint64_t id = ++last_id_;
    current_->exchange(id);
    return RunToken(current_, id);
  }

  // Ends the current run. Returns its id, or 0 when none was current.
  uint64_t End() { return current_->exchange(0); }

  bool active() const { return current_->load() != 0; }
  uint64_t current() const { return current_->load(); }

 private:
  const std::shared_ptr<std::atomic<uint64_t>> current_;
  uint64_t last_id_ = 0;  // owner's thread only
};

}  // namespace duzavide

#endif  // BASE_RUN_TOKEN_H_
