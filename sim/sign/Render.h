// Files a person can look at, written from what the emulator received
// (vexa-sim --out DIR): pictures of page sets and similar.
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

#include "Frame.h"

namespace vexasim {

// Writes the files that frame f deserves into directory dir (which must
// exist) and returns their paths; frames that have no picture give none.
// Faults are described in *error when given.
std::vector<std::string> writeOutputFiles(const Frame& f, const std::string& dir,
                                          std::string* error = nullptr);

// An 8-bit RGB picture, rows top to bottom, three bytes per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  RgbImage(int w, int h, uint8_t r, uint8_t g, uint8_t b);
  void set(int x, int y, const uint8_t rgb[3]);
  void fill(int x0, int y0, int x1, int y1, const uint8_t rgb[3]);  // [x0,x1) x [y0,y1)
  void frame(int x0, int y0, int x1, int y1, int thickness, const uint8_t rgb[3]);
  // Text in a small built-in font, `scale` pixels per font unit, top-left at
  // (x, y), drawn only inside the clip rectangle [cx0,cx1) x [cy0,cy1).
  void text(int x, int y, const std::string& s, int scale, const uint8_t rgb[3], int cx0 = 0,
            int cy0 = 0, int cx1 = 1 << 30, int cy1 = 1 << 30);
  static int textWidth(const std::string& s, int scale);
};

bool writePng(const std::string& path, const RgbImage& image);
// The PNG file of image, in memory.
bool encodePng(const RgbImage& image, std::string* out);

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
// areas drawn to scale as labelled rectangles, with a legend per page.
bool renderPageSet(const uint8_t* payload, size_t n, RgbImage* out, std::string* error);

}  // namespace vexasim

#endif  // VEXA_SIM_RENDER_H
