// What the gateway suites share: emulated signs on loopback addresses of
// their own, a scratch directory, and the frames a sign received in short.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SimFixture.h"
#include "VexaSim.h"

namespace gatewaytest {

// Sign k of a suite's block: 127.N.BLOCK.k for the suite's address 127.0.0.N.
inline std::string SignAddress(int block, int k) {
  const std::string a = vexasim::TestAddress();
  return "127." + a.substr(a.rfind('.') + 1) + "." + std::to_string(block) + "." + std::to_string(k);
}

// A new directory under /tmp whose name starts with `prefix`; "" when none
// could be made.
inline std::string TempDir(const std::string& prefix) {
  std::string name = "/tmp/" + prefix + "-XXXXXX";
  return ::mkdtemp(&name[0]) ? name : "";
}

inline void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// The frames a sign received, as "Name" with the slot or field and the text
// of line-up and data frames and the spoken text of announcements; clocks
// left out unless `clocks`.
inline std::vector<std::string> Seen(const vexasim::Emulator& e, bool clocks = true) {
  std::vector<std::string> out;
  for (const vexasim::Frame& f : e.frames()) {
    std::string s = f.name;
    if (f.name == "LineUp") s += " " + std::to_string(f.number("slotNo")) + " " + f.bytes("text");
    if (f.name == "CollectedData") s += " " + std::to_string(f.number("dataIndex")) + " " + f.bytes("text");
    if (f.name == "PlayVoice") s += " " + f.bytes("spokenText");
    if (clocks || f.name != "TimeCheck") out.push_back(s);
  }
  return out;
}

// Emulated signs 1..count of a block, started once for a suite.
class Signs {
 public:
  void Start(int block, int count) {
    for (int k = 1; k <= count; ++k) {
      vexasim::Options o;
      o.address = SignAddress(block, k);
      sims_[k] = new vexasim::Emulator(o);
      std::string error;
      ASSERT_TRUE(sims_[k]->start(&error)) << error;
    }
  }
  void Stop() {
    for (auto& [k, e] : sims_) delete e;
    sims_.clear();
  }
  // Every sign answering again, with nothing received.
  void Reset() {
    for (auto& [k, e] : sims_) {
      e->setReplyMode(vexasim::ReplyMode::Accept);
      e->clear();
    }
  }
  void Clear() {
    for (auto& [k, e] : sims_) e->clear();
  }
  vexasim::Emulator* operator[](int k) { return sims_[k]; }

 private:
  std::map<int, vexasim::Emulator*> sims_;
};

}  // namespace gatewaytest
