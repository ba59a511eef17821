#include "tavo/engine/rules.h"

#include <algorithm>

#include "tavo/protocol/protocol.h"

namespace tavo {

const char* HandName(Hand h) { return h == Rock ? "rock" : h == Scissors ? "scissors" : "paper"; }

bool HandFromLetter(char c, Hand& h) {
  switch (c) {
    case protocol::kRock: h = Rock; return true;
    case protocol::kScissors: h = Scissors; return true;
    case protocol::kPaper: h = Paper; return true;
  }
  return false;
}

void HistoryMatcher::Add(int symbol) {
  // Every context that ends just before the new symbol now has a known follower. A
  // context's code: its symbols from the newest, in base_ digits.
  const size_t end = symbols_.size();
  uint64_t code = 0, digit = 1;
  for (int n = 1; n <= kMaxLength && size_t(n) <= end; ++n, digit *= base_) {
    code += symbols_[end - size_t(n)] * digit;
    last_[n][code] = int(end);
  }
  symbols_.push_back(uint8_t(symbol));
  latest_.fill(-1);
  code = 0, digit = 1;
  for (int n = 1; n <= kMaxLength && size_t(n) <= symbols_.size(); ++n, digit *= base_) {
    code += symbols_[symbols_.size() - size_t(n)] * digit;
    const auto it = last_[n].find(code);
    if (it == last_[n].end()) break;  // no longer context can have occurred either
    latest_[size_t(n)] = it->second;
  }
}

int HistoryMatcher::Follower(int* length, int horizon) const {
  // The latest occurrence of each length is kept: if it is older than the horizon, so are
  // all the others.
  const int oldest = horizon > 0 ? Size() - horizon : 0;
  for (int n = kMaxLength; n >= 1; --n) {
    if (latest_[size_t(n)] >= 0 && latest_[size_t(n)] >= oldest) {
      if (length) *length = n;
      return latest_[size_t(n)];
    }
  }
  if (length) *length = 0;
  return -1;
}

int HistoryMatcher::FollowerOfLength(int length) const {
  return length < 1 || length > kMaxLength ? -1 : latest_[size_t(length)];
}

int HistoryMatcher::RecentFollower(double scale, double* weight) const {
  int best = -1;
  *weight = 0;
  for (int n = kMaxLength; n >= 1; --n) {
    if (latest_[size_t(n)] < 0) continue;
    const double w = n / (1.0 + double(Size() - latest_[size_t(n)]) / scale);
    if (w > *weight) *weight = w, best = latest_[size_t(n)];
  }
  return best;
}

}  // namespace tavo
