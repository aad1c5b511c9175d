// Helpers for tests that run the controller emulator in-process.
#ifndef VEXA_SIM_SIMFIXTURE_H
#define VEXA_SIM_SIMFIXTURE_H

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VexaSim.h"

namespace vexasim {

// The loopback address this test executable owns (VEXA_TEST_ADDR), so that
// suites running in parallel do not meet on the same ports.
inline std::string TestAddress() {
  const char* a = std::getenv("VEXA_TEST_ADDR");
  return a && *a ? std::string(a) : std::string("127.0.0.2");
}

// Emulator options for this executable's address and the standard ports.
inline Options TestOptions() {
  Options o;
  o.address = TestAddress();
  return o;
}

// "FE 5C 4B 89": uppercase hex bytes separated by spaces.
inline std::string hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += digits[bytes[i] >> 4];
    s += digits[bytes[i] & 15];
  }
  return s;
}

// Bytes from hex text; spaces between the pairs are optional. A character that
// is no hex digit or a lone digit at the end aborts: a broken expectation in a
// test must not pass unnoticed.
inline std::vector<uint8_t> bytesOf(const std::string& text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (high >= 0) break;  // lone digit: reported below
      continue;
    }
    int v = digit(c);
    if (v < 0) {
      std::fprintf(stderr, "bytesOf: '%c' is no hex digit in \"%s\"\n", c, text.c_str());
      std::abort();
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(uint8_t(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) {
    std::fprintf(stderr, "bytesOf: odd number of hex digits in \"%s\"\n", text.c_str());
    std::abort();
  }
  return out;
}

// The bytes of a text, without a terminating NUL.
inline std::vector<uint8_t> bytesOfText(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace vexasim

#endif  // VEXA_SIM_SIMFIXTURE_H
