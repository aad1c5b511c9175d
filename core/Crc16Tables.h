// The two lookup tables of the bus frames' CRC-16 (the Modbus CRC: reflected
// polynomial 0x8005, i.e. 0xA001 shifted right, register preset FFFF, no final
// XOR), generated at compile time from the polynomial instead of typed out.
//
// The table method keeps the CRC register as two bytes. For each data byte:
//   index  = first ^ data
//   first  = second ^ unchArrCRCHigh[index]
//   second = unchArrCRCLow[index]
// and the frame gets `first`, then `second` (the CRC's low byte, then its
// high byte). unchArrCRCHigh holds the low byte of each reflected table entry
// and unchArrCRCLow its high byte; the names follow the register bytes they
// feed, not the halves of the entry.
#ifndef LIBVEXA_X86_CORE_CRC16TABLES_H
#define LIBVEXA_X86_CORE_CRC16TABLES_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace crc16detail {

constexpr uint16_t kReflectedPolynomial = 0xA001;

// The reflected CRC of one byte value through eight shift steps.
constexpr uint16_t TableEntry(unsigned value) {
  uint16_t crc = static_cast<uint16_t>(value);
  for (int bit = 0; bit < 8; ++bit) {
    crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ kReflectedPolynomial)
                    : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

constexpr std::array<uint8_t, 256> MakeTable(bool highHalf) {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    const uint16_t entry = TableEntry(i);
    table[i] = static_cast<uint8_t>(highHalf ? (entry >> 8) : (entry & 0xFF));
  }
  return table;
}

}  // namespace crc16detail

inline constexpr std::array<uint8_t, 256> unchArrCRCHigh = crc16detail::MakeTable(false);
inline constexpr std::array<uint8_t, 256> unchArrCRCLow = crc16detail::MakeTable(true);

// The CRC over n bytes with the table method; low byte = first register byte.
constexpr uint16_t Crc16Modbus(const uint8_t* data, size_t n) {
  uint8_t first = 0xFF;
  uint8_t second = 0xFF;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t index = static_cast<uint8_t>(first ^ data[i]);
    first = static_cast<uint8_t>(second ^ unchArrCRCHigh[index]);
    second = unchArrCRCLow[index];
  }
  return static_cast<uint16_t>(first | (second << 8));
}

// Known points of the published tables, checked when this header compiles.
static_assert(unchArrCRCHigh[0] == 0x00 && unchArrCRCHigh[1] == 0xC1 && unchArrCRCHigh[2] == 0x81 &&
                  unchArrCRCHigh[3] == 0x40 && unchArrCRCHigh[255] == 0x40,
              "CRC high table");
static_assert(unchArrCRCLow[0] == 0x00 && unchArrCRCLow[1] == 0xC0 && unchArrCRCLow[2] == 0xC1 &&
                  unchArrCRCLow[3] == 0x01 && unchArrCRCLow[255] == 0x40,
              "CRC low table");

#endif  // LIBVEXA_X86_CORE_CRC16TABLES_H
