// What turns a request's body into commands for signs: the JSON is parsed,
// every argument checked against what the command takes (name, type,
// range), texts checked for GBK, and the sign checked to take the command.
// Nothing here sends; a refused request gets the status to answer and the
// field at fault.
#ifndef LIBVEXA_X86_GATEWAY_REQUEST_H
#define LIBVEXA_X86_GATEWAY_REQUEST_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "hall/HallFile.h"

namespace gateway {

// Largest body a request may have.
constexpr size_t kMaxBody = 64 * 1024;
// Longest text (in GBK bytes) and ticket a command may carry.
constexpr size_t kMaxText = 1024;
constexpr size_t kMaxTicket = 64;

// Why a request was refused.
struct Refusal {
  int status = 400;   // 400, 404, 413, 422, 429, 503
  std::string field;  // the field at fault ("ticket", "counter", "body", ...)
  std::string error;  // in words
  nlohmann::json Json() const;
};

// One command to one sign.
struct Job {
  int64_t id = 0;       // the store's number; 0 for the gateway's own commands
  int64_t request = 0;  // the request it belongs to; 0 for the gateway's own
  std::string sign;
  std::string command;  // play, start, stop, bright, relay, clock, text, data, coord,
                        // voice, lineup, bar, upload; "announce" for a call's words
  nlohmann::json args;  // checked arguments, texts in UTF-8
  // A queued job of the same sign and place is replaced by a newer one;
  // empty: never replaced (calls, play, relays, voice, ...).
  std::string place;
  // What the sign shows through it ("data:1", "lineup:2", "text:1",
  // "coord:0,16", "bar"); empty for commands that show nothing lasting.
  std::string show;
};

// The commands a sign takes by name, in the order of the documentation.
const std::vector<std::string>& CommandNames();

// A command for a sign from its body (a JSON object of the arguments, or
// empty for none). False with the refusal when it cannot be sent.
bool MakeJob(const hall::HallFile& hall, const std::string& sign, const std::string& command,
             const std::string& body, Job* job, Refusal* why);

// The commands of a call ({"ticket":"A012","counter":3}): the counter's
// line-up fields, collected data fields and bar screens, then the words on
// every sign that speaks, in the hall's order.
bool MakeCall(const hall::HallFile& hall, const std::string& body, std::string* ticket,
              int* counter, std::vector<Job>* jobs, Refusal* why);

// Sends a job to its sign through the library (in the calling thread) and
// returns the result code. The hall's settings must be in force (Hall::Send).
int Execute(const hall::HallFile& hall, const hall::Sign& sign, const Job& job);

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_REQUEST_H
