// Files a person can look at, written from what the emulator received
// (vexa-sim --out DIR): pictures of page sets and similar, drawn into the
// raster (Raster.h) with the sign's font (Font.h).
#ifndef VEXA_SIM_RENDER_H
#define VEXA_SIM_RENDER_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Font.h"
#include "Frame.h"
#include "Raster.h"

namespace vexasim {

// Writes the files that frame f deserves into directory dir (which must
// exist) and returns their paths; frames that have no picture give none.
// Faults are described in *error when given. Texts are drawn in font.
std::vector<std::string> writeOutputFiles(const Frame& f, const std::string& dir, const GlyphFont& font,
                                          std::string* error = nullptr);

// Runs jobs one after another on a thread of its own, so that drawing and
// writing pictures never delays the emulator's replies. At most `limit` jobs
// wait; post() drops a job beyond that and says so. The destructor runs the
// jobs still waiting, then stops the thread.
class BackgroundJobs {
 public:
  explicit BackgroundJobs(size_t limit = 256);
  ~BackgroundJobs();
  BackgroundJobs(const BackgroundJobs&) = delete;
  BackgroundJobs& operator=(const BackgroundJobs&) = delete;
  bool post(std::function<void()> job);

 private:
  void run();
  size_t limit_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

// The picture of a page-set descriptor (command 0x22 payload): every page's
// areas drawn to scale as labelled rectangles, with a legend per page, the
// texts in font.
bool renderPageSet(const uint8_t* payload, size_t n, const GlyphFont& font, RgbImage* out, std::string* error);

}  // namespace vexasim

#endif  // VEXA_SIM_RENDER_H
