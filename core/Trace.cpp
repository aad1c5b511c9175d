#include "core/Trace.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "core/Commands.h"


namespace trace {

namespace {

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

// Where records go. Writing never blocks a call and never raises SIGPIPE:
// a FIFO without a reader, a reader that stopped reading or left, or a full
// disk make the record be dropped, and the next record that goes out says
// how many were dropped.
struct Sink {
  bool on = false;
  int fd = -1;       // -1 while a file still has to be opened
  std::string path;  // empty for standard error
  unsigned long dropped = 0;
  bool midLine = false;  // a record was cut short: the next one starts a line
  std::mutex lock;   // one record at a time, so records never interleave

  Sink() {
    const char* where = std::getenv("VEXA_TRACE");
    if (where == nullptr || *where == '\0' || std::strcmp(where, "0") == 0) return;
    on = true;
    if (std::strcmp(where, "1") == 0 || std::strcmp(where, "stderr") == 0) {
      fd = STDERR_FILENO;
      return;
    }
    path = where;
    if (!Open() && errno != ENXIO) {
      std::fprintf(stderr, "libvexa-x86: VEXA_TRACE: cannot open %s: %s\n", where,
                   std::strerror(errno));
      on = false;
    }
  }

  // Opens the file without blocking: a FIFO with no reader yet fails with
  // ENXIO, and is tried again at the next record.
  bool Open() {
    fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    return fd >= 0;
  }

  void Write(const std::string& record) {
    std::lock_guard<std::mutex> guard(lock);
    if (fd < 0 && !Open()) {
      ++dropped;
      return;
    }
    std::string out = midLine ? "\n" : "";
    if (dropped > 0) {
      out = Stamp() + "trace: " + std::to_string(dropped) +
            (dropped == 1 ? " record was" : " records were") +
            " dropped: the trace could not take them without waiting\n";
    }
    out += record;
    if (WriteWithoutWaiting(out)) {
      dropped = 0;
    } else {
      ++dropped;
    }
  }

 private:
  // Writes `out` whole, or nothing when that would wait.
  bool WriteWithoutWaiting(const std::string& out) {
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
      // A pipe or FIFO takes the record only if it has room for all of it;
      // standard error may be one whose writes would block.
      int queued = 0;
      const int capacity = fcntl(fd, F_GETPIPE_SZ);
      if (capacity > 0 && ioctl(fd, FIONREAD, &queued) == 0 &&
          out.size() > static_cast<size_t>(capacity - queued)) {
        return false;
      }
    }
    // A reader that left must not kill the application: SIGPIPE is held
    // back on this thread for the write, and one it raised is taken away.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    bool whole = true;
    const char* p = out.data();
    size_t left = out.size();
    while (left > 0) {
      const ssize_t n = write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN && left < out.size()) {
        // Part of the record is out: the rest follows as soon as there is
        // room, within a short bound, so that the lines stay whole.
        pollfd room{fd, POLLOUT, 0};
        if (poll(&room, 1, kFinishRecordMs) > 0) continue;
      }
      if (n <= 0) {
        whole = false;
        if (n < 0 && errno == EPIPE) {
          if (!alreadyPending) {
            const timespec now{0, 0};
            while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
            }
          }
          // The reader left: a file of our own is opened again for the next
          // record, which finds the next reader (or drops it).
          if (!path.empty()) {
            close(fd);
            fd = -1;
          }
        }
        break;
      }
      p += n;
      left -= static_cast<size_t>(n);
    }
    midLine = fd >= 0 && left > 0 && left < out.size();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return whole;
  }

  // How long the rest of a record already partly written may wait for room.
  static constexpr int kFinishRecordMs = 100;
};

// Never destroyed: detached threads may still write records while the
// process exits.
Sink& TheSink() {
  static Sink* sink = new Sink;
  return *sink;
}

thread_local std::string lastReason;

}  // namespace

bool On() {
  static const bool on = TheSink().on;
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
  const auto* b = reinterpret_cast<const uint8_t*>(bytes);
  const char* name = commands::NameOfFrame(b, n);
  text_ += "  > frame " + std::to_string(number) + " of " + std::to_string(of) + ": " +
           std::to_string(n) + " bytes" + (name != nullptr ? std::string(" ") + name : "") + "\n";
  if (n > 0) text_ += "    " + Hex(b, static_cast<size_t>(n), 32, "    ") + "\n";
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
