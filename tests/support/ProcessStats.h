// What the process holds, for the tests and benchmarks that check that long
// runs leave nothing behind: open descriptors and threads, and a wait for a
// condition that the library reaches on a thread of its own.
#ifndef VEXA_TESTS_PROCESSSTATS_H
#define VEXA_TESTS_PROCESSSTATS_H

#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

// Descriptors this process holds.
inline int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

// Threads this process runs.
inline int ThreadCount() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 8, "Threads:") == 0) return std::atoi(line.c_str() + 8);
  }
  return -1;
}

// Waits until `done` holds; false after `timeoutMs`.
template <class Done>
bool WaitUntil(Done done, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

#endif  // VEXA_TESTS_PROCESSSTATS_H
