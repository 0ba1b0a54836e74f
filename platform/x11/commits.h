// When the pet window's state reaches the X server: at the end of each
// event the program handles (a tick, a press), so the two moves of a tick,
// its band and its picture go out as one configure and one picture change.
// Outside any event a change goes at once.
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

namespace guizzolo::x11 {

class Commits {
 public:
  class Committer {
   public:
    virtual ~Committer() = default;
    virtual void commit() = 0;
  };

  void add(Committer* c) { committers_.push_back(c); }
  void remove(Committer* c) { committers_.erase(std::remove(committers_.begin(), committers_.end(), c), committers_.end()); }
  bool deferred() const { return depth_ > 0; }
  void commitAll() {
    const auto all = committers_;
    for (Committer* c : all)
      if (std::find(committers_.begin(), committers_.end(), c) != committers_.end()) c->commit();
  }

  // Around the handling of one event.
  class Batch {
   public:
    explicit Batch(Commits& commits) : commits_(commits) { ++commits_.depth_; }
    ~Batch() {
      if (--commits_.depth_ == 0) commits_.commitAll();
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    Commits& commits_;
  };

  // Around a nested loop (a drag, a message box): what came before goes out
  // now, and the events handled inside commit on their own.
  class Nested {
   public:
    explicit Nested(Commits& commits) : commits_(commits), saved_(commits.depth_) {
      commits_.depth_ = 0;
      commits_.commitAll();
    }
    ~Nested() { commits_.depth_ = saved_; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;

   private:
    Commits& commits_;
    int saved_;
  };

 private:
  int depth_ = 0;
  std::vector<Committer*> committers_;
};

}  // namespace guizzolo::x11
