// The library's trace and the reasons for refusals.
//
// The environment variable VEXA_TRACE, read once when first needed, turns the
// trace on: unset or empty = off; "1" or "stderr" = standard error; any other
// value = the path of a file the records are appended to. A record is one or
// more whole lines written at once, so the records of several threads never
// interleave:
//
//   2026-12-07 23:28:22.123 thread 4711 udp 192.0.2.10:8800 from :8801
//     attempt 1 of 1
//     > frame 1 of 1: 21 bytes PlayShowPage
//       FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF
//     < reply 20 bytes after 3 ms
//       FE 5C 4B 89 14 00 00 00 31 00 00 00 00 01 00 00 00 31 FF FF
//     = result 0: command "1" status "1" (accepted)
//
//   2026-12-07 23:28:22.130 thread 4711 refused: address "10.0.0.300" is not dotted IPv4
//
// Whatever the trace says, the reason for the calling thread's last result 1
// is kept (LastReason), so that an application can show it.
#ifndef LIBVEXA_X86_CORE_TRACE_H
#define LIBVEXA_X86_CORE_TRACE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace trace {

// True when the trace is on.
bool On();

// Keeps `reason` as the calling thread's reason for a result 1, and writes a
// refusal record when the trace is on. Returns 1, the result it explains.
int Refuse(const std::string& reason);
// Writes a record of its own ("login server: ...") when the trace is on.
void Event(const std::string& what);
// Keeps `reason` for the calling thread without writing a record (the
// transmission record it belongs to says it).
void SetReason(const std::string& reason);
// The calling thread's reason for its last result 1 ("" before any).
const std::string& LastReason();

// "FE 5C 4B 89 …": uppercase hex, one space between bytes, `perLine` bytes a
// line, each line after the first starting with `indent`.
std::string Hex(const uint8_t* bytes, size_t n, size_t perLine = 32,
                const std::string& indent = std::string());

// A byte as the trace quotes it: "1" for a printable character, else 0x81.
std::string Quoted(uint8_t b);

// The record of one transmission. When the trace is off every method returns
// at once; the record is written when it goes out of scope.
class Transmission {
 public:
  Transmission();  // off until Start()
  ~Transmission();
  Transmission(const Transmission&) = delete;
  Transmission& operator=(const Transmission&) = delete;

  bool on() const { return on_; }
  // Begins the record when the trace is on. `peer` follows the transport
  // word: "udp 192.0.2.10:8800 from :8801", "tcp 192.0.2.10:8900",
  // "login 192.0.2.10", "serial COM1 9600 rs485".
  void Start(const std::string& peer);
  void Attempt(int number, int of);
  void Frame(int number, int of, const char* bytes, long n);
  // A reply of n bytes that arrived `afterMs` after the frame it answers
  // went out.
  void Reply(const uint8_t* bytes, long n, long afterMs);
  void Note(const std::string& line);
  void Result(int result, const std::string& how);

 private:
  bool on_ = false;
  std::string text_;
};

}  // namespace trace

#endif  // LIBVEXA_X86_CORE_TRACE_H
