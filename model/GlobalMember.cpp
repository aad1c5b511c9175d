#include "model/GlobalMember.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <random>

SocketHandle::~SocketHandle() {
  if (fd_ >= 0) close(fd_);
}

namespace {
bool modelGone = false;
}  // namespace

std::mutex& ModelLifeLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

bool ModelGone() { return modelGone; }

GlobalMember::GlobalMember() = default;

GlobalMember::~GlobalMember() {
  std::lock_guard<std::mutex> life(ModelLifeLock());
  modelGone = true;
}

std::vector<std::string> GlobalMember::SplitStr(std::string text, std::string separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) return pieces;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t hit = text.find(separator, pos);
    if (hit == std::string::npos) {
      pieces.push_back(text.substr(pos));
      break;
    }
    pieces.push_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  return pieces;
}

std::string GlobalMember::IntToBinStr(int value, int width) {
  std::string bits;
  for (int i = width - 1; i >= 0; --i) {
    // Bits above 31 of an int are copies of the sign bit.
    int shift = i > 31 ? 31 : i;
    bits.push_back(((value >> shift) & 1) ? '1' : '0');
  }
  return bits.empty() ? std::string("00000000") : bits;
}

int GlobalMember::BinStrToInt(std::string digits) {
  // The string owns its terminating NUL, so strtol reads it whatever its length.
  return static_cast<int>(std::strtol(digits.c_str(), nullptr, 2));
}

int GlobalMember::BinStrToInt2(std::string digits) {
  unsigned int result = 0;
  for (char c : digits) {
    if (c != '0' && c != '1') break;
    result = (result << 1) | static_cast<unsigned int>(c - '0');
  }
  return static_cast<int>(result);
}

int GlobalMember::randNum(int lowest, int highest) {
  // The library's own generator, seeded once: drawing material and page-set
  // numbers never restarts the application's rand() sequence, and two draws
  // in the same second differ as numbers should.
  static std::mutex lock;
  static std::mt19937_64 generator{std::random_device{}() ^
                                   static_cast<uint64_t>(std::time(nullptr))};
  const int64_t span = static_cast<int64_t>(highest) - lowest + 1;
  if (span <= 0) return lowest;
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<int>(lowest + static_cast<int64_t>(generator() % static_cast<uint64_t>(span)));
}

bool GlobalMember::IsStrUTF8(const char* text) {
  if (text == nullptr) return false;
  int pending = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    unsigned char c = *p;
    if (pending == 0) {
      if (c < 0x80) continue;
      if (c >= 0xFC && c <= 0xFD) pending = 5;
      else if (c >= 0xF8) pending = 4;  // F8..FB, and FE, FF
      else if (c >= 0xF0) pending = 3;
      else if (c >= 0xE0) pending = 2;
      else if (c >= 0xC0) pending = 1;
      else return false;  // a continuation byte cannot start a character
    } else {
      if ((c & 0xC0) != 0x80) return false;
      --pending;
    }
  }
  return pending == 0;
}

void GlobalMember::ReplaceStr(std::string& text, const std::string& pattern,
                              const std::string& replacement) {
  if (pattern.empty()) return;  // would match everywhere without end
  size_t pos = 0;
  while ((pos = text.find(pattern, pos)) != std::string::npos) {
    text.replace(pos, pattern.size(), replacement);
    pos += replacement.size();
  }
}

char* GlobalMember::UTF8ToGBK(const char*) { return nullptr; }
