// Work that must happen when a scope ends, however it ends: `const ScopeExit cleanup([&] { ... });`.
#pragma once

#include <utility>

template <class Action>
class [[nodiscard]] ScopeExit {
 public:
  explicit ScopeExit(Action action) : action_(std::move(action)) {}
  ~ScopeExit() { action_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Action action_;
};
