// The sign page of vexa-sim --http: every sign with its page, brightness,
// relays and announcements, and the decoded frame log, kept up to date in
// the browser by Server-Sent Events.
//
//   GET /                  the page (its files are compiled into the program)
//   GET /state             every sign as JSON
//   GET /sign/<file>.png   a sign's picture (file name as in --out)
//   GET /events            Server-Sent Events: "state" with the JSON of
//                          /state after every change, "frame" per decoded frame
//
// What the network can make it hold is bounded:
// - Limits::connections connections served at once, each by a thread of
//   its own, and a line of as many waiting for a thread. A connection in
//   line takes the place of the one that has waited longest for a request
//   head (idle between requests, or slow to send one), which is closed; with
//   the line full, a newcomer is answered 503 and closed at once;
// - at most Limits::streams event streams, a third of the connections, so
//   that the page's other requests always find a thread; one more is
//   answered 503 and closed;
// - a request head must arrive whole within 5 s and 16 KiB, and a
//   connection waits at most 5 s for its next request;
// - only GET and HEAD are served: any other method is answered 405, a body
//   announced beyond 1 KiB (or of unknown length) 413, before any of it is
//   read, and the connection is closed after either.
#ifndef VEXA_SIM_SIGNWEBSERVER_H
#define VEXA_SIM_SIGNWEBSERVER_H

#include <memory>
#include <string>

#include "SignService.h"

namespace vexasim {

class SignWebServer {
 public:
  struct Limits {
    size_t connections = 48;  // served at once, each by a thread of its own; as many more wait in line
    size_t streams = 16;      // event streams among them
  };
  // The limits for a process that may hold this many descriptors: the
  // connections served and in line take at most an eighth of them (4 to 48
  // served), a third of those served (1 to 16) may be event streams, and
  // the emulator's own sockets keep the rest.
  static Limits limitsFor(size_t descriptors);

  explicit SignWebServer(const SignService& signs);
  SignWebServer(const SignService& signs, Limits limits);
  ~SignWebServer();  // stops
  SignWebServer(const SignWebServer&) = delete;
  SignWebServer& operator=(const SignWebServer&) = delete;

  // Listens on host:port (port 0: any free port) and serves on threads of
  // its own. False with *error when the address cannot be bound.
  bool start(const std::string& host, int port, std::string* error = nullptr);
  int port() const;
  const Limits& limits() const;
  // Ends every event stream and joins the server's threads.
  void stop();

  // "8080" or "HOST:8080"; a bare port means the loopback address.
  static bool parseAddress(const std::string& text, std::string& host, int& port);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace vexasim

#endif  // VEXA_SIM_SIGNWEBSERVER_H
