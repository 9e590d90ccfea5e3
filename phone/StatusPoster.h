#pragma once

#include <deque>
#include <functional>
#include <mutex>

// Hands a call to the user-interface thread, where it runs later in posting order. The phone
// link's watcher thread reports through it and never calls into the window directly.
class IStatusPoster {
 public:
  virtual ~IStatusPoster();
  virtual void Post(std::function<void()> call) = 0;
};

// A queue of posted calls that runs them when pumped, on the pumping thread.
class TQueuedPoster : public IStatusPoster {
 public:
  void Post(std::function<void()> call) override;
  // Runs the calls queued so far, including those they post in turn; returns how many ran.
  int Pump();
  int Pending() const;

 private:
  mutable std::mutex Mutex;
  std::deque<std::function<void()>> Queue;
};
