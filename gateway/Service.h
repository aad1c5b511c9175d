// What a front (the HTTP front, the MQTT front) asks of the gateway, and
// what it can follow. A front turns its own input into these calls and the
// outcomes into its own answers: the status is HTTP's (200 done, 202
// accepted and still waiting, 4xx/5xx refused with nothing sent), the body
// JSON as the HTTP front answers it.
#ifndef LIBVEXA_X86_GATEWAY_SERVICE_H
#define LIBVEXA_X86_GATEWAY_SERVICE_H

#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "gateway/Health.h"

namespace gateway {

struct Outcome {
  int status = 200;
  nlohmann::json body;
};

// A change a front may pass on: a sign's availability, what a sign should
// now show in one of its fields, or a command's result.
struct SignEvent {
  enum class Kind { kAvailability, kShows, kResult } kind = Kind::kAvailability;
  std::string sign;
  Availability availability = Availability::kUnknown;  // kAvailability
  std::string show;                                    // kShows: "data:1", "lineup:2", ...
  nlohmann::json content;                              // kShows: the command and its arguments
  std::string command;                                 // kResult
  int result = 0;                                      // kResult
  std::string reason;                                  // kResult
  int64_t request = 0;                                 // kResult: 0 for the gateway's own
  // kResult: the newer request that took the command's place in the queue
  // before it was sent (no result then); 0 for a command that was sent.
  int64_t replacedBy = 0;
};

class Service {
 public:
  virtual ~Service() = default;
  // A call from its JSON ({"ticket":"A012","counter":3}). `wait`: answer
  // with the results (bounded by the signs' time-outs); else 202 and an id
  // as soon as the call is stored.
  virtual Outcome Call(const std::string& body, bool wait) = 0;
  // One command to one sign, its arguments by name in a JSON object.
  virtual Outcome Command(const std::string& sign, const std::string& command,
                          const std::string& body, bool wait) = 0;
  // A request's state and results by its id.
  virtual Outcome Request(int64_t id) = 0;
  // Each sign: availability, last result and reason, queue depth, what it shows.
  virtual nlohmann::json Signs() = 0;
  // Follows every change from now on; the listener is called on the
  // gateway's threads and must return quickly. Returns a number for
  // Unsubscribe.
  virtual int Subscribe(std::function<void(const SignEvent&)> listener) = 0;
  virtual void Unsubscribe(int subscription) = 0;
};

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_SERVICE_H
