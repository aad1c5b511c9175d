// Writing what the emulator received as pictures (vexa-sim --out): the
// thread that makes them, and the choice of picture per frame.
#include <atomic>
#include <cstdio>
#include <string>

#include "Render.h"

namespace vexasim {

BackgroundJobs::BackgroundJobs(size_t limit) : limit_(limit), thread_([this] { run(); }) {}

BackgroundJobs::~BackgroundJobs() {
  {
    std::lock_guard<std::mutex> lk(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

bool BackgroundJobs::post(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lk(mu_);
    if (jobs_.size() >= limit_) return false;
    jobs_.push_back(std::move(job));
  }
  cv_.notify_all();
  return true;
}

void BackgroundJobs::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lk(mu_);
      cv_.wait(lk, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and nothing left to do
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job();
    } catch (...) {
      // A picture that cannot be made must not end the emulator.
    }
  }
}

std::vector<std::string> writeOutputFiles(const Frame& f, const std::string& dir, const GlyphFont& font,
                                          std::string* error) {
  static std::atomic<int> counter{0};
  std::vector<std::string> written;
  if (f.kind != "net") return written;
  if (f.command == 0x22) {
    RgbImage image(1, 1, 0, 0, 0);
    std::string why;
    if (!renderPageSet(f.payload.data(), f.payload.size(), font, &image, &why)) {
      if (error) *error = "page set not drawn: " + why;
      return written;
    }
    std::string set;
    for (char c : f.get("set"))
      if ((c >= '0' && c <= '9') || c == '-') set += c;
    char name[64];
    std::snprintf(name, sizeof name, "/pageset-%03d-%s.png", ++counter,
                  set.empty() ? "unnumbered" : set.c_str());
    std::string path = dir + name;
    if (writePng(path, image)) written.push_back(path);
    else if (error) *error = "cannot write " + path;
  }
  return written;
}

}  // namespace vexasim
