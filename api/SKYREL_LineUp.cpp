// Queue line-up commands, over the network (including the last-page cut of
// long texts) and on the serial line.
#include <cstring>
#include <string>

#include "SKYREL.h"
#include "api/EntryPoint.h"

int SendLineUpContent(char* text, char* ip, int networkMode, int slotNo, int lineKind,
                      int unitAddress, bool bracketed) {
  return SendNetworkText(commands::kLineUp, text, ip, networkMode, [&](CBuffObj& o) {
    return o.LineUpBuffer(text, slotNo, lineKind, unitAddress, bracketed);
  });
}

int SendLineUp_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                   int baudRate, int slotNo, int lineKind, int unitAddress, bool bracketed) {
  return SendTwinText(commands::kLineUp, text,
                      {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.LineUpBuffer(text, slotNo, lineKind, unitAddress, bracketed);
                      });
}

int SendLineUp_Net(char* text, char* ip, int networkMode, int slotNo, int lineKind,
                   int unitAddress, bool bracketed) {
  try {
    return SendLineUpContent(text, ip, networkMode, slotNo, lineKind, unitAddress, bracketed);
  } catch (...) {
    return 1;
  }
}

int SendLineUp2_Net(char* text, char* ip, int networkMode, int slotNo, int lineKind,
                    int unitAddress, bool bracketed, int pageChars) {
  int result = 1;
  try {
    // A page must hold at least one character; the cut divides by its size.
    if (text == nullptr) return RefuseNullText();
    if (ip == nullptr) return trace::Refuse("the controller's address is null");
    if (pageChars <= 0) {
      return trace::Refuse("a page of " + std::to_string(pageChars) +
                           " characters holds no text");
    }
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    const size_t length = std::strlen(text);
    const size_t pageBytes = 2 * static_cast<size_t>(pageChars);  // two bytes per character
    const size_t pages = length / pageBytes;
    size_t start = pages * pageBytes;
    if (start == length && pages > 0) {
      // The text fills whole pages: the last page is the last whole one.
      start = (pages - 1) * pageBytes;
    } else if (pages > 0) {
      // An odd number of one-byte characters before the cut means the cut
      // splits a two-byte character: start one byte earlier to send it whole.
      size_t singles = 0;
      for (size_t i = 0; i < start; ++i) singles += protocol::IsDoubleByteHalf(s[i]) ? 0 : 1;
      if (singles % 2 == 1) --start;
    }
    if (start >= length) return trace::Refuse("the text is empty: there is no page to show");
    result = SendLineUpContent(text + start, ip, networkMode, slotNo, lineKind, unitAddress,
                               bracketed);
  } catch (...) {
  }
  return result;
}
