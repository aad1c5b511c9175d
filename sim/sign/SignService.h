// The virtual signs as a service of vexa-sim: frames handed over from the
// emulator's per-frame sink are applied and drawn on a thread of their own,
// so that a reply never waits for drawing; each change is published (state
// as JSON, each sign's picture as PNG, the decoded frame log) for the sign
// page, and written as sign-<address>.png into the --out directory.
#ifndef VEXA_SIM_SIGNSERVICE_H
#define VEXA_SIM_SIGNSERVICE_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Sign.h"
#include "Frame.h"

namespace vexasim {

class SignService {
 public:
  struct Settings {
    std::string outDir;       // "" writes no files
    int bitmapW = 0, bitmapH = 0;  // image-group size where no area gives one
    size_t queueLimit = 4096; // frames waiting to be drawn; beyond, a frame is dropped
    size_t logLines = 200;    // decoded frames kept for the page
    std::function<void(const std::string&)> onError;  // a file that cannot be written
  };

  SignService(std::shared_ptr<const GlyphFont> font, Settings settings);
  ~SignService();  // draws what is still waiting, then stops
  SignService(const SignService&) = delete;
  SignService& operator=(const SignService&) = delete;

  // Tests set the emulator's clock; call before frames are posted.
  void setClock(SignBoard::Clock clock);
  // Shows the sign of a controller address before any frame arrives; with
  // a width and height it has that size (SignBoard::addController).
  void addController(const std::string& address, int width = 0, int height = 0);
  // Shows a sign of any kind under its id before any frame arrives, with
  // the name the page gives it beside the id (SignBoard::addSign).
  void addSign(const std::string& id, const std::string& kind, const std::string& name, int width = 0,
               int height = 0);
  // Frames posted with this address come over a line of its own
  // (SignBoard::addLine); call before they are posted.
  void addLine(const std::string& address);
  // Hands over a frame received by the controller at address. Cheap and
  // never waits for drawing; false when too many frames wait already.
  bool post(const Frame& f, const std::string& address);
  // Waits until every frame posted so far is drawn and published.
  bool flush(int timeoutMs);

  // What the page shows. The version grows with every publication.
  uint64_t version() const;
  // Waits until the version passes `seen` or timeoutMs pass; returns the
  // version then.
  uint64_t waitForChange(uint64_t seen, int timeoutMs) const;
  std::string stateJson() const;
  // The PNG of sign id, or of the sign whose picture has that file name
  // (see fileName); false when there is no such sign.
  bool png(const std::string& id, std::string* out) const;
  // Log entries (JSON objects) after sequence number `after`, oldest first;
  // *last receives the newest sequence number.
  std::vector<std::string> logSince(uint64_t after, uint64_t* last) const;

  // "127.0.0.1" -> "sign-127.0.0.1.png"; characters other than letters,
  // digits, '.', '_' and '-' become '-'.
  static std::string fileName(const std::string& id);

 private:
  struct Item {
    enum class Does { Frame, AddSign, AddLine } does = Does::Frame;
    Frame frame;
    std::string address;        // Frame: the controller's; AddSign: the sign's id; AddLine: the line's
    std::string kind, name;     // AddSign
    int width = 0, height = 0;  // AddSign: the sign's size, 0 when it grows
  };
  void enqueue(Item item);
  void run();
  // Lays sign id out again and rebuilds its JSON; with draw also its
  // picture, and with writeFile its file in the --out directory.
  void render(const std::string& id, bool draw, bool writeFile);
  void publish();

  std::shared_ptr<const GlyphFont> font_;
  Settings settings_;

  // Handed over by post(), taken by the drawing thread.
  std::mutex queueMu_;
  std::condition_variable queueCv_;
  std::deque<Item> queue_;
  uint64_t posted_ = 0;
  uint64_t done_ = 0;
  bool stopping_ = false;
  std::condition_variable doneCv_;
  SignBoard::Clock clock_;
  bool clockChanged_ = false;

  // Owned by the drawing thread.
  SignBoard board_;
  std::map<std::string, std::string> json_;  // per sign
  std::map<std::string, std::shared_ptr<const std::string>> pngs_;
  std::map<std::string, uint64_t> pictures_;  // pictures drawn per sign
  std::vector<std::pair<uint64_t, std::string>> pendingLog_;
  std::set<std::string> timeSigns_;  // signs that show a running clock

  // Published, for the page's threads.
  mutable std::mutex pubMu_;
  mutable std::condition_variable pubCv_;
  uint64_t version_ = 0;
  std::string state_ = "{\"signs\":[]}";
  std::map<std::string, std::shared_ptr<const std::string>> published_;
  std::deque<std::pair<uint64_t, std::string>> log_;
  uint64_t logSeq_ = 0;

  std::thread thread_;
};

}  // namespace vexasim

#endif  // VEXA_SIM_SIGNSERVICE_H
