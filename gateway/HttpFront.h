// The HTTP front: JSON over cpp-httplib, writes behind a bearer token,
// every input bounded (body size, threads, waiting connections).
#ifndef LIBVEXA_X86_GATEWAY_HTTPFRONT_H
#define LIBVEXA_X86_GATEWAY_HTTPFRONT_H

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace gateway {

class Gateway;

class HttpFront {
 public:
  explicit HttpFront(Gateway* gateway);
  ~HttpFront();
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Binds the configured address (port 0: one the system picks) and
  // serves on a thread of its own. False with `why` when it cannot bind.
  bool Start(std::string* why);
  // Stops accepting and waits for the requests being served.
  void Stop();
  int port() const { return port_; }

 private:
  Gateway* gateway_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> listenEnded_{false};  // the accepting thread is done
  int port_ = 0;
};

// Whether an Authorization header carries `token` (compared in constant
// time).
bool BearerMatches(const std::string& header, const std::string& token);

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_HTTPFRONT_H
