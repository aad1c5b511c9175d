#include "core/Trace.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "core/WriteAll.h"

namespace trace {

namespace {

// Where records go: -1 when the trace is off.
struct Sink {
  int fd = -1;
  std::mutex lock;  // one record at a time, so records never interleave

  Sink() {
    const char* where = std::getenv("VEXA_TRACE");
    if (where == nullptr || *where == '\0') return;
    if (std::strcmp(where, "1") == 0 || std::strcmp(where, "stderr") == 0) {
      fd = STDERR_FILENO;
      return;
    }
    fd = open(where, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      std::fprintf(stderr, "libvexa-x86: VEXA_TRACE: cannot open %s: %s\n", where,
                   std::strerror(errno));
      return;
    }
  }
  void Write(const std::string& record) {
    std::lock_guard<std::mutex> guard(lock);
    WriteAll(fd, record.data(), record.size());
  }
};

// Never destroyed: detached threads may still write records while the
// process exits.
Sink& TheSink() {
  static Sink* sink = new Sink;
  return *sink;
}

thread_local std::string lastReason;

// "2026-12-07 23:28:22.123 thread 4711 "
std::string Stamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  const time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  char text[64];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + n, sizeof text - n, ".%03ld thread %ld ",
                static_cast<long>(now.tv_usec / 1000), static_cast<long>(syscall(SYS_gettid)));
  return text;
}

}  // namespace

bool On() {
  static const bool on = TheSink().fd >= 0;
  return on;
}

int Refuse(const std::string& reason) {
  SetReason(reason);
  if (On()) TheSink().Write(Stamp() + "refused: " + reason + "\n");
  return 1;
}

void Event(const std::string& what) {
  if (!On()) return;
  try {
    TheSink().Write(Stamp() + what + "\n");
  } catch (...) {
    // The trace never makes anything fail.
  }
}

void SetReason(const std::string& reason) {
  try {
    lastReason = reason;
  } catch (...) {
    // Out of memory: the earlier reason stays.
  }
}

const std::string& LastReason() { return lastReason; }

std::string Hex(const uint8_t* bytes, size_t n, size_t perLine, const std::string& indent) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 3 + (n / (perLine ? perLine : 1) + 1) * indent.size());
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) {
      if (perLine != 0 && i % perLine == 0) {
        s += '\n';
        s += indent;
      } else {
        s += ' ';
      }
    }
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 15];
  }
  return s;
}

std::string Quoted(uint8_t b) {
  char text[8];
  if (b > 0x20 && b < 0x7F && b != '"') {
    std::snprintf(text, sizeof text, "\"%c\"", b);
  } else {
    std::snprintf(text, sizeof text, "0x%02X", b);
  }
  return text;
}

Transmission::Transmission() = default;

Transmission::~Transmission() {
  if (!on_) return;
  try {
    TheSink().Write(text_);
  } catch (...) {
    // The trace never makes a call fail.
  }
}

void Transmission::Start(const std::string& peer) {
  on_ = On();
  if (on_) text_ = Stamp() + peer + "\n";
}

void Transmission::Attempt(int number, int of) {
  if (!on_) return;
  text_ += "  attempt " + std::to_string(number) + " of " + std::to_string(of) + "\n";
}

void Transmission::Frame(int number, int of, const char* bytes, long n) {
  if (!on_) return;
  text_ += "  > frame " + std::to_string(number) + " of " + std::to_string(of) + ": " +
           std::to_string(n) + " bytes\n";
  if (n > 0) {
    text_ += "    " +
             Hex(reinterpret_cast<const uint8_t*>(bytes), static_cast<size_t>(n), 32, "    ") +
             "\n";
  }
}

void Transmission::Reply(const uint8_t* bytes, long n, long afterMs) {
  if (!on_ || n <= 0) return;
  text_ += "  < reply " + std::to_string(n) + " bytes after " + std::to_string(afterMs) + " ms\n";
  text_ += "    " + Hex(bytes, static_cast<size_t>(n), 32, "    ") + "\n";
}

void Transmission::Note(const std::string& line) {
  if (on_) text_ += "  " + line + "\n";
}

void Transmission::Result(int result, const std::string& how) {
  if (on_) text_ += "  = result " + std::to_string(result) + ": " + how + "\n";
}

}  // namespace trace
