#include "StatusPoster.h"

#include <utility>

IStatusPoster::~IStatusPoster() = default;

void TQueuedPoster::Post(std::function<void()> call) {
  std::lock_guard lock(Mutex);
  Queue.push_back(std::move(call));
}

int TQueuedPoster::Pump() {
  int count = 0;
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(Mutex);
      if (Queue.empty()) return count;
      call = std::move(Queue.front());
      Queue.pop_front();
    }
    call();
    ++count;
  }
}

int TQueuedPoster::Pending() const {
  std::lock_guard lock(Mutex);
  return static_cast<int>(Queue.size());
}
