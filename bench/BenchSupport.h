// What every benchmark here shares: a stopwatch and a fixed mixing of row numbers, so that the
// rows of a run are made from their number alone and both sides of a comparison see the same.
#pragma once

#include <chrono>
#include <cstdint>

// Seconds since a point of the steady clock.
inline double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A bijection of 64-bit numbers (the finaliser of splitmix64): distinct inputs give distinct
// outputs, spread over every bit.
inline uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}
