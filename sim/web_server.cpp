// The sign page's HTTP server, on cpp-httplib: the page's files, the state
// as JSON, the signs' pictures and a stream of Server-Sent Events.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "SignWebServer.h"
#include "WebAssets.h"

namespace vexasim {

namespace {

// Each open event stream holds one of the server's threads; a few more stay
// for the page's other requests.
constexpr size_t kMaxStreams = 16;
constexpr size_t kThreads = kMaxStreams + 8;
// An event stream looks for news this often (and ends this soon after stop)...
constexpr int kStreamWaitMs = 250;
// ...and sends a comment after this long without news, so that a browser
// that went away is noticed.
constexpr int kKeepAliveMs = 15000;

const char* typeOf(const std::string& path) {
  auto ends = [&](const char* ext) {
    const size_t n = std::strlen(ext);
    return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  return "application/octet-stream";
}

struct Stream {
  bool started = false;
  uint64_t version = 0;
  uint64_t logSeq = 0;
  int quietMs = 0;
};

}  // namespace

struct SignWebServer::Impl {
  const SignService& signs;
  httplib::Server server;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::atomic<size_t> streams{0};
  int port = 0;
  bool running = false;

  explicit Impl(const SignService& s) : signs(s) {
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_tcp_nodelay(true);  // events are small; send them at once
    for (size_t i = 0; i < kWebAssetCount; ++i) {
      const WebAsset& a = kWebAssets[i];
      auto handler = [&a](const httplib::Request&, httplib::Response& res) {
        res.set_content(reinterpret_cast<const char*>(a.data), a.size, typeOf(a.path));
        res.set_header("Cache-Control", "no-cache");
      };
      server.Get(a.path, handler);
      if (std::strcmp(a.path, "/index.html") == 0) server.Get("/", handler);
    }
    server.Get("/state", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(signs.stateJson(), "application/json");
      res.set_header("Cache-Control", "no-store");
    });
    server.Get(R"(/sign/([A-Za-z0-9._-]+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::string png;
      if (!signs.png(req.matches[1], &png)) {
        res.status = 404;
        res.set_content("no such sign\n", "text/plain");
        return;
      }
      res.set_content(png, "image/png");
      res.set_header("Cache-Control", "no-store");
    });
    server.Get("/events", [this](const httplib::Request&, httplib::Response& res) { events(res); });
  }

  void events(httplib::Response& res) {
    if (++streams > kMaxStreams) {
      --streams;
      res.status = 503;
      res.set_content("too many event streams\n", "text/plain");
      return;
    }
    auto st = std::make_shared<Stream>();
    res.set_header("Cache-Control", "no-cache");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, st](size_t, httplib::DataSink& sink) {
          if (stopping) return false;
          std::string out;
          uint64_t v = st->version;
          if (!st->started) {
            st->started = true;
            out = "retry: 1000\n\n";
            v = signs.version();
          } else {
            v = signs.waitForChange(st->version, kStreamWaitMs);
            if (stopping) return false;
          }
          if (v != st->version || out.size()) {
            st->version = v;
            st->quietMs = 0;
            out += "event: state\ndata: " + signs.stateJson() + "\n\n";
            for (const std::string& line : signs.logSince(st->logSeq, &st->logSeq))
              out += "event: frame\ndata: " + line + "\n\n";
          } else if ((st->quietMs += kStreamWaitMs) >= kKeepAliveMs) {
            st->quietMs = 0;
            out = ": still here\n\n";
          }
          return out.empty() || sink.write(out.data(), out.size());
        },
        [this](bool) { --streams; });
  }
};

SignWebServer::SignWebServer(const SignService& signs) : d_(new Impl(signs)) {}

SignWebServer::~SignWebServer() { stop(); }

bool SignWebServer::start(const std::string& host, int port, std::string* error) {
  Impl& d = *d_;
  if (d.running) return true;
  d.port = port == 0 ? d.server.bind_to_any_port(host) : (d.server.bind_to_port(host, port) ? port : -1);
  if (d.port <= 0) {
    if (error) *error = "cannot listen for the sign page on " + host + ":" + std::to_string(port);
    return false;
  }
  d.stopping = false;
  d.running = true;
  d.thread = std::thread([&d] { d.server.listen_after_bind(); });
  // stop() only reaches a server that is running: wait until it is.
  for (int i = 0; i < 2000 && !d.server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

int SignWebServer::port() const { return d_->port; }

void SignWebServer::stop() {
  Impl& d = *d_;
  if (!d.running) return;
  d.stopping = true;
  d.server.stop();
  d.thread.join();
  d.running = false;
}

bool SignWebServer::parseAddress(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  host = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
  const std::string digits = colon == std::string::npos ? text : text.substr(colon + 1);
  if (host.empty() || digits.empty() || digits.size() > 5) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  port = std::atoi(digits.c_str());
  return port <= 65535;
}

}  // namespace vexasim
