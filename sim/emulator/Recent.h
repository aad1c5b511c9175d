// The emulator's records of what it received: the most recent entries up to
// a fixed number, so that a long run or a flood holds bounded memory.
#ifndef VEXA_SIM_RECENT_H
#define VEXA_SIM_RECENT_H

#include <cstddef>
#include <deque>
#include <vector>

namespace vexasim {

template <typename T>
class Recent {
 public:
  explicit Recent(size_t capacity) : capacity_(capacity ? capacity : 1) {}

  // Adds an entry, forgetting the oldest when full.
  void push(T v) {
    if (items_.size() == capacity_) items_.pop_front();
    items_.push_back(std::move(v));
    ++seen_;
  }
  template <typename It>
  void pushRange(It first, It last) {
    for (; first != last; ++first) push(*first);
  }
  // The entries kept, oldest first.
  std::vector<T> items() const { return std::vector<T>(items_.begin(), items_.end()); }
  // Entries added since the last clear(), kept or not.
  size_t seen() const { return seen_; }
  void clear() {
    items_.clear();
    seen_ = 0;
  }

 private:
  size_t capacity_;
  std::deque<T> items_;
  size_t seen_ = 0;
};

}  // namespace vexasim

#endif  // VEXA_SIM_RECENT_H
