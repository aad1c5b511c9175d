// The HTTP routes, their token and their bounds.
#include "gateway/HttpFront.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>

#include "gateway/Gateway.h"
#include "gateway/OpenApi.h"

namespace gateway {

using nlohmann::json;

namespace {

// Connections served by a fixed number of threads; when as many again are
// waiting, the accepting thread waits too, and further connections wait in
// the kernel's listen backlog.
class BoundedPool : public httplib::TaskQueue {
 public:
  BoundedPool(size_t threads, size_t waiting) : waiting_(waiting) {
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
  }
  void enqueue(std::function<void()> fn) override {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return jobs_.size() < waiting_ + idle_ || shutdown_; });
    jobs_.push_back(std::move(fn));
    work_.notify_one();
  }
  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      shutdown_ = true;
    }
    work_.notify_all();
    room_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void Serve() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idle_;
        room_.notify_one();
        work_.wait(lock, [&] { return !jobs_.empty() || shutdown_; });
        --idle_;
        if (jobs_.empty()) return;  // shut down
        fn = std::move(jobs_.front());
        jobs_.pop_front();
      }
      fn();
    }
  }
  size_t waiting_;
  size_t idle_ = 0;
  std::vector<std::thread> threads_;
  std::deque<std::function<void()>> jobs_;
  std::mutex mutex_;
  std::condition_variable work_, room_;
  bool shutdown_ = false;
};

void Reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump() + "\n", "application/json");
}

bool WaitOf(const httplib::Request& req) {
  if (!req.has_param("wait")) return true;
  const std::string v = req.get_param_value("wait");
  return !(v == "false" || v == "0" || v == "no");
}

}  // namespace

bool BearerMatches(const std::string& header, const std::string& token) {
  static const std::string kScheme = "Bearer ";
  if (token.empty() || header.size() != kScheme.size() + token.size() ||
      header.compare(0, kScheme.size(), kScheme) != 0) {
    return false;
  }
  unsigned char diff = 0;
  for (size_t i = 0; i < token.size(); ++i) {
    diff |= static_cast<unsigned char>(header[kScheme.size() + i] ^ token[i]);
  }
  return diff == 0;
}

HttpFront::HttpFront(Gateway* gateway) : gateway_(gateway), server_(std::make_unique<httplib::Server>()) {}

HttpFront::~HttpFront() { Stop(); }

bool HttpFront::Start(std::string* why) {
  httplib::Server& s = *server_;
  const Config& c = gateway_->config();
  Gateway* g = gateway_;
  const size_t threads = static_cast<size_t>(c.httpThreads), waiting = static_cast<size_t>(c.httpWaiting);
  s.new_task_queue = [threads, waiting] { return new BoundedPool(threads, waiting); };
  s.set_payload_max_length(kMaxBody);
  s.set_read_timeout(5, 0);
  s.set_write_timeout(5, 0);
  s.set_keep_alive_max_count(100);
  s.set_keep_alive_timeout(5);

  // Writes need the token; the rest does not.
  s.set_pre_routing_handler([g](const httplib::Request& req, httplib::Response& res) {
    if (req.method != "POST") return httplib::Server::HandlerResponse::Unhandled;
    if (BearerMatches(req.get_header_value("Authorization"), g->config().token)) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    res.set_header("WWW-Authenticate", "Bearer");
    Reply(res, 401, json{{"error", "writes need Authorization: Bearer TOKEN"}, {"field", "Authorization"}});
    return httplib::Server::HandlerResponse::Handled;
  });
  // Answers without a body of their own get a JSON one.
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    if (res.status == 413) {
      Reply(res, 413, json{{"error", "the body is larger than " + std::to_string(kMaxBody) + " bytes"},
                           {"field", "body"}});
    } else if (res.status == 404) {
      Reply(res, 404, json{{"error", "no such path"}, {"field", "path"}});
    } else {
      Reply(res, res.status, json{{"error", "HTTP status " + std::to_string(res.status)}, {"field", ""}});
    }
  });
  s.set_logger([g](const httplib::Request&, const httplib::Response& res) { g->metrics().Http(res.status); });

  s.Post("/v1/call", [g](const httplib::Request& req, httplib::Response& res) {
    Outcome o = g->Call(req.body, WaitOf(req));
    Reply(res, o.status, o.body);
  });
  s.Post(R"(/v1/signs/([^/]{1,128})/([a-z]{1,16}))", [g](const httplib::Request& req, httplib::Response& res) {
    Outcome o = g->Command(req.matches[1], req.matches[2], req.body, WaitOf(req));
    Reply(res, o.status, o.body);
  });
  s.Get(R"(/v1/commands/([0-9]{1,18}))", [g](const httplib::Request& req, httplib::Response& res) {
    Outcome o = g->Request(std::stoll(req.matches[1]));
    Reply(res, o.status, o.body);
  });
  s.Get("/v1/signs", [g](const httplib::Request&, httplib::Response& res) { Reply(res, 200, g->Signs()); });
  s.Get("/health", [g](const httplib::Request&, httplib::Response& res) { Reply(res, 200, g->HealthJson()); });
  s.Get("/metrics", [g](const httplib::Request&, httplib::Response& res) {
    res.set_content(g->MetricsText(), "text/plain; version=0.0.4");
  });
  s.Get("/openapi.json", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(OpenApiJson(), "application/json");
  });

  if (c.httpPort == 0) {
    port_ = s.bind_to_any_port(c.httpHost);
  } else {
    port_ = s.bind_to_port(c.httpHost, c.httpPort) ? c.httpPort : -1;
  }
  if (port_ <= 0) {
    *why = "cannot listen on " + c.httpHost + ":" + std::to_string(c.httpPort);
    return false;
  }
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listenEnded_ = true;
  });
  // The server's stop() reaches only a server already running: a stop that
  // came before it (a SIGTERM right after the start) would be lost, and the
  // accepting thread would wait for connections for ever.
  while (!server_->is_running() && !listenEnded_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void HttpFront::Stop() {
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

}  // namespace gateway
