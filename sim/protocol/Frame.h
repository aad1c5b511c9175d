// A decoded frame and the decoders that make one from received bytes, and
// the replies a controller sends back. The protocol room of the emulator:
// everything here reads and writes bytes only, with no socket, file or
// picture; the emulator, the offline decoder and the virtual sign build on it.
//
// The decoders are written from the byte layouts of the frames alone; they
// use nothing of the library but the constants of the public header.
#ifndef VEXA_SIM_FRAME_H
#define VEXA_SIM_FRAME_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SKYREL.h"

namespace vexasim {

// What a decoded field holds, and so how the printers show it.
enum class FieldType : uint8_t {
  Number,  // an integer, printed in decimal
  Text,    // the bytes of a text of the frame, printed quoted
  Bytes,   // bytes, printed as hex ("01 FE")
  Word,    // one of the decoder's own words ("ok", "true", "pulse 3",
           // "000000012"), printed as it is
};

// One decoded field: its value as the decoder read it, typed. The printed
// forms are made from it when a frame is printed.
struct Field {
  std::string name;
  FieldType type = FieldType::Word;
  // Text and Bytes: the bytes as they arrived; Word: the word.
  std::string data;
  // Number: the value. A Word or Text may stand for a number too (a
  // material number's digits, a relay's action code, a clock's
  // YYYYMMDDhhmmss); empty when it does not.
  std::optional<long long> number;

  // The value as Frame::get() gives it: a number in decimal, a text quoted
  // with every byte outside printable ASCII as \xNN (detail::quotedText),
  // bytes in hex, a word as it is.
  std::string value() const;
  // What the printers show: the value, but a text with its GBK characters
  // as UTF-8 (detail::shownText).
  std::string shown() const;
};

struct Frame {
  std::string channel;           // "udp", "tcp", "serial", "login"
  std::string kind;              // "net", "rs485", "voice485", "bar", "unknown"
  int command = -1;              // network command code (byte 8) or serial code
  int subCode = 0;               // network frame byte 9
  std::string name = "unknown";  // command name, e.g. "PlayShowPage"
  std::vector<Field> fields;     // decoded fields in frame order
  bool checksOk = true;          // length fields, end mark, XOR/CRC verified
  std::string error;             // why checksOk is false / what could not be decoded
  std::vector<uint8_t> raw;      // the whole frame as received (after reassembly)
  std::vector<uint8_t> payload;  // the payload bytes (network frame: from byte 17)

  // The first field of that name; null when there is none.
  const Field* field(const std::string& fieldName) const;
  // The number a field holds or stands for; def when there is no such field
  // or it stands for none.
  long long number(const std::string& fieldName, long long def = 0) const;
  // The bytes of a Text or Bytes field, the word of a Word field; "" for a
  // Number and when there is no such field.
  std::string bytes(const std::string& fieldName) const;

  std::string get(const std::string& fieldName) const;  // printed value of a field (Field::value) or ""
  std::string json() const;                             // one JSON line, no newline
  std::string text() const;                             // short human-readable line
};

// Decodes the payload of one command into out.fields; flags bad check bytes
// and short payloads on out (see DecodeUtil.h for the helpers).
using PayloadDecoder = void (*)(const uint8_t* payload, size_t n, Frame& out);

// Decodes one whole network frame: header checks, then the payload through the
// decoder table of its command code.
Frame decodeNetworkFrame(const uint8_t* p, size_t n);
// Decodes one whole frame from the serial line: a network frame, an RS-485
// frame, an RS-485 voice frame or a bar-screen frame.
Frame decodeSerialFrame(const uint8_t* p, size_t n);
// Decodes what a controller sent back: a reply in network-frame layout (its
// status at byte 17) or in the short serial layout (status at byte 6). The
// frame is named "Reply", of kind "reply", whatever its bytes.
Frame decodeReply(const uint8_t* p, size_t n);
// Length of the complete frame at the start of a stream buffer; 0 when more
// bytes are needed; -1 when the first byte cannot start a frame (drop one byte
// and try again; so does a length field beyond the largest frame and a
// margin, kFrameLimit in Reassembly.h). With serial false only network frames
// are recognised.
long completeFrameLength(const uint8_t* p, size_t n, bool serial);

enum class ReplyMode { Accept, Refuse2, Refuse3, Silent, Malformed, Echo, Delay };

// Parses "accept", "refuse2", "refuse3", "silent", "malformed", "echo",
// "delay:MS". Returns false for anything else.
bool parseReplyMode(const std::string& text, ReplyMode& mode, int& delayMs);

// The reply a controller sends to frame f in mode m (empty: no reply). Delay
// gives the accepted reply; the waiting is the emulator's business.
std::vector<uint8_t> replyFor(const Frame& f, ReplyMode m);

}  // namespace vexasim

#endif  // VEXA_SIM_FRAME_H
