// The page-set descriptor (command 0x22) read back into its pages and
// material entries, for the decoder and for the picture of the set.
#ifndef VEXA_SIM_PAGESET_H
#define VEXA_SIM_PAGESET_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexasim {

// One 39-character material entry: the texts as they arrived, and the
// numbers read from them (0 when a text holds no number).
struct PageSetEntry {
  std::string id;    // nine characters
  char type = 0;     // content type character
  std::string x8, y, w8, h;  // three characters each; x and width in units of 8 px
  std::string tail;  // seventeen characters, "1000000000#01#10;" when sound
  long idValue = 0;
  int x8Value = 0, yValue = 0, w8Value = 0, hValue = 0;
};

struct PageSetPage {
  std::string start, end;
  std::vector<PageSetEntry> entries;
};

struct PageSetLayout {
  std::string setNumber;  // nine characters
  std::vector<PageSetPage> pages;
  std::string error;      // first fault found; empty when the text is sound
  size_t used = 0;        // bytes read before a fault ended the reading
};

constexpr char kPageSetTail[] = "1000000000#01#10;";
constexpr size_t kPageSetEntryLength = 39;

// Reads as much of the descriptor as is well formed; a fault ends the reading
// and is described in error.
PageSetLayout parsePageSet(const uint8_t* p, size_t n);

// Human-readable name of a content type character ("date-time", ...).
std::string pageSetTypeName(char type);

}  // namespace vexasim

#endif  // VEXA_SIM_PAGESET_H
