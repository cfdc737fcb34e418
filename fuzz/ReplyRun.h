// A fuzz input read as a run of replies for a scripted server: each a two-byte length (low byte
// first) and that many bytes; the last one takes what is left when the input ends early.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

inline void ReadReplyRun(const uint8_t* data, size_t size, std::deque<std::string>& replies) {
  replies.clear();
  for (size_t at = 0; at + 2 <= size;) {
    const size_t n = std::min<size_t>(data[at] | size_t(data[at + 1]) << 8, size - at - 2);
    replies.emplace_back(reinterpret_cast<const char*>(data + at + 2), n);
    at += 2 + n;
  }
}
