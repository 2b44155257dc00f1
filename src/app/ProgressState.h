// What the progress window says and when it comes, apart from the window: it shows only once the run's
// operations have been at work for a moment, so an installation that is over sooner never flashes it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

class TProgressState {
 public:
  // How long the operations work before the window shows, in milliseconds.
  static constexpr std::uint32_t kDelay = 500;

  // An operation's status at Now (the system's tick count, in milliseconds): the line that names what
  // it works on and how much of the run is done. True when the window is due.
  bool Report(std::uint32_t now, std::string text, int percent) {
    if (!started_) {
      started_ = true;
      start_ = now;
    }
    text_ = std::move(text);
    position_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    return now - start_ >= kDelay;  // unsigned: right also when the tick count wraps around
  }
  const std::string& Text() const { return text_; }
  // The bar, 0 to 100.
  int Position() const { return position_; }

  // Done of Total as a whole percentage (rounded down); 0 when the total is not known.
  static int Percent(std::int64_t done, std::int64_t total) {
    return total > 0 && done > 0 ? int(done >= total ? 100 : done * 100 / total) : 0;
  }

 private:
  bool started_ = false;
  std::uint32_t start_ = 0;
  std::string text_;
  int position_ = 0;
};
