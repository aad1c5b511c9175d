// The sign page of vexa-sim --http: every sign with its page, brightness,
// relays and announcements, and the decoded frame log, kept up to date in
// the browser by Server-Sent Events.
//
//   GET /                  the page (its files are compiled into the program)
//   GET /state             every sign as JSON
//   GET /sign/<file>.png   a sign's picture (file name as in --out)
//   GET /events            Server-Sent Events: "state" with the JSON of
//                          /state after every change, "frame" per decoded frame
#ifndef VEXA_SIM_SIGNWEBSERVER_H
#define VEXA_SIM_SIGNWEBSERVER_H

#include <memory>
#include <string>

#include "SignService.h"

namespace vexasim {

class SignWebServer {
 public:
  explicit SignWebServer(const SignService& signs);
  ~SignWebServer();  // stops
  SignWebServer(const SignWebServer&) = delete;
  SignWebServer& operator=(const SignWebServer&) = delete;

  // Listens on host:port (port 0: any free port) and serves on threads of
  // its own. False with *error when the address cannot be bound.
  bool start(const std::string& host, int port, std::string* error = nullptr);
  int port() const;
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
