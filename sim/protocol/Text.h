// The text helpers of the decoders and of everything that shows what a
// frame carried: hex dumps, sign texts quoted for a person, GBK characters
// as code points and UTF-8, JSON strings. GBK goes through one table, made
// once with iconv, for every user.
#ifndef VEXA_SIM_TEXT_H
#define VEXA_SIM_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexasim {
namespace detail {

// "01 FE": uppercase hex bytes separated by single spaces.
std::string hexBytes(const uint8_t* p, size_t n);
// The same appended to s.
void appendHex(std::string& s, const uint8_t* p, size_t n);
// "0x66"
std::string hexCode(int code);

// A byte text as a quoted string: printable ASCII as is, '"' and '\' escaped
// with a backslash, every other byte as \xNN. This is the value of a text
// field: it keeps the exact bytes.
std::string quotedText(const uint8_t* p, size_t n);
// The code point of the GBK double-byte character lead, trail; 0 when the
// pair is no character.
uint32_t gbkCodePoint(uint8_t lead, uint8_t trail);
// The GBK double-byte character lead, trail appended to out as UTF-8; false
// (out unchanged) when the pair is no character.
bool gbkToUtf8(uint8_t lead, uint8_t trail, std::string& out);
// Code point c appended to out as UTF-8.
void appendUtf8(std::string& out, uint32_t c);
// A sign text for a person to read, quoted as quotedText() does but with each
// GBK double-byte character shown as UTF-8: only control bytes and bytes
// that start or end no character stay \xNN. Every printer of frames (the
// emulator's lines, the decode command, the sign page's frame list) shows
// texts this way (Field::shown).
std::string shownText(const uint8_t* p, size_t n);

// A JSON string: UTF-8 characters as they are, control characters and any
// byte that is no UTF-8 escaped.
std::string jsonString(const std::string& s);
// The inside of that string appended to out.
void appendJsonChars(std::string& out, const std::string& s);

}  // namespace detail
}  // namespace vexasim

#endif  // VEXA_SIM_TEXT_H
