// vexa-sim --hall: the signs of a hall file as the controllers the emulator
// plays. Each networked sign is a controller of its own at the sign's
// address, listening (udp, tcp) or dialling in to the host (login); each
// serial port of the hall is one line, COM<port>, carrying its bus devices
// and bar screens. Every sign keeps the hall's name and size, and the id it
// has on the sign board.
#ifndef VEXA_SIM_HALLPLAY_H
#define VEXA_SIM_HALLPLAY_H

#include <string>
#include <vector>

#include "Frame.h"
#include "hall/HallFile.h"

namespace vexasim {

struct PlayedSign {
  std::string id;    // on the sign board: "192.0.2.10", "COM1 bus 5", "COM1 bar 3", "COM1"
  std::string kind;  // "controller", "bus" or "bar"
  std::string name;  // the hall's name
  int width = 0, height = 0;  // dots; a bar screen's: its page width's characters x 16
};

struct PlayedController {
  enum class Role { Listen, DialIn, Line };
  Role role = Role::Listen;
  std::string address;  // Listen, DialIn: the IPv4 address; Line: "COM<port>"
  int port = 0;         // Line: the hall's serial port
  std::vector<PlayedSign> signs;  // one for a networked sign; a line's in file order

  // The hall's sign that a frame received by this controller is meant for;
  // null when the hall has none there (a bar address it does not name).
  const PlayedSign* signOf(const Frame& f) const;
  // The board's id of that sign, whether the hall names it or not.
  std::string idOf(const Frame& f) const;
};

// The networked signs in file order, then the serial lines by port.
std::vector<PlayedController> controllersOf(const hall::HallFile& hall);

// A bus address as the sign board names bus devices: "5" for 0_0_0_0_0_0_0_5,
// else the eight numbers joined by "_"; returned unchanged when it is
// neither one number nor eight.
std::string boardBusAddress(const std::string& bus);

}  // namespace vexasim

#endif  // VEXA_SIM_HALLPLAY_H
