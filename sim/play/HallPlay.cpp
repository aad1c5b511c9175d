// The controllers of a hall (HallPlay.h).
#include "HallPlay.h"

#include <cstdlib>
#include <map>

#include "Sign.h"

namespace vexasim {

std::string boardBusAddress(const std::string& bus) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t cut = bus.find('_', start);
    parts.push_back(bus.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
    if (cut == std::string::npos) break;
    start = cut + 1;
  }
  std::vector<int> numbers;
  for (const std::string& p : parts) {
    if (p.empty() || p.size() > 3 || p.find_first_not_of("0123456789") != std::string::npos) return bus;
    numbers.push_back(std::atoi(p.c_str()));
    if (numbers.back() > 255) return bus;
  }
  if (numbers.size() == 1) return std::to_string(numbers[0]);
  if (numbers.size() != 8) return bus;
  bool leadingZeros = true;
  for (size_t i = 0; i + 1 < numbers.size(); ++i) leadingZeros = leadingZeros && numbers[i] == 0;
  if (leadingZeros) return std::to_string(numbers.back());
  std::string joined;
  for (size_t i = 0; i < numbers.size(); ++i) joined += (i ? "_" : "") + std::to_string(numbers[i]);
  return joined;
}

std::vector<PlayedController> controllersOf(const hall::HallFile& hall) {
  std::vector<PlayedController> out;
  std::map<int, PlayedController> lines;
  for (const hall::Sign& s : hall.signs) {
    if (s.networked()) {
      PlayedController c;
      c.role = s.transport == hall::Transport::kLogin ? PlayedController::Role::DialIn : PlayedController::Role::Listen;
      c.address = s.address;
      c.signs.push_back(PlayedSign{s.address, "controller", s.name, s.width, s.height});
      out.push_back(std::move(c));
      continue;
    }
    PlayedController& line = lines[s.port];
    line.role = PlayedController::Role::Line;
    line.port = s.port;
    line.address = "COM" + std::to_string(s.port);
    PlayedSign sign;
    sign.name = s.name;
    if (s.bar) {
      sign.id = line.address + " bar " + std::to_string(s.barAddress);
      sign.kind = "bar";
      sign.width = 16 * s.pageWidth;  // two-byte characters of 16 dots
      sign.height = 16;
    } else if (s.serialProtocol == 2) {
      sign.id = line.address + " bus " + boardBusAddress(s.bus);
      sign.kind = "bus";
      sign.width = s.width;
      sign.height = s.height;
    } else {
      // The network frame unchanged on the line: the line's own controller.
      sign.id = line.address;
      sign.kind = "controller";
      sign.width = s.width;
      sign.height = s.height;
    }
    line.signs.push_back(std::move(sign));
  }
  for (auto& l : lines) out.push_back(std::move(l.second));
  return out;
}

std::string PlayedController::idOf(const Frame& f) const {
  return role == Role::Line ? SignBoard::signOnLine(f, address) : SignBoard::signFor(f, address);
}

const PlayedSign* PlayedController::signOf(const Frame& f) const {
  const std::string id = idOf(f);
  for (const PlayedSign& s : signs)
    if (s.id == id) return &s;
  return nullptr;
}

}  // namespace vexasim
