// A hall in action: its signs' layouts uploaded, their clocks set, a ticket
// called to a counter, and any one command sent to one sign. Everything goes
// out through the library's exported functions, with their refusals, time-
// outs and reasons: the hall adds the file and the order, nothing else.
//
// Every operation reports one result per sign it addressed, with the
// library's reason when the sign did not accept. A sign that does not
// answer does not stop the others: each step sends to all its signs at once
// (one thread per sign; signs on one serial line take turns, as the line
// needs), and waits for all of them.
//
// The library's settings are process-wide: while it sends, the hall sets the
// receive time-out and the number of attempts of the signs it is sending to
// (signs whose settings differ are sent to one group after another), and
// puts the application's settings back afterwards. The show-page model is
// process-wide too: an upload builds and sends one sign's page set at a
// time, under the hall's lock; an application that builds page sets of its
// own at the same time mixes them.
#ifndef LIBVEXA_X86_HALL_HALL_H
#define LIBVEXA_X86_HALL_HALL_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hall/HallFile.h"

namespace hall {

// What one sign made of one command.
struct SignResult {
  std::string sign;     // the sign's name
  std::string command;  // "lineup", "data", "bar", "voice", "upload", "clock", ...
  int result = 1;       // the library's result code: 0 accepted, 1 to 4 not
  std::string reason;   // the library's reason when result is not 0
  long ms = 0;          // how long the command took
};

// 0 when every result is 0, else the first result that is not.
int FirstFailure(const std::vector<SignResult>& results);

class Hall {
 public:
  explicit Hall(std::unique_ptr<HallFile> file);
  // Reads the hall file; nullptr with every mistake listed when it has any.
  static std::unique_ptr<Hall> Open(const std::string& path, std::vector<Mistake>* mistakes);

  const HallFile& file() const { return *file_; }

  // Starts the login server on the hall's login port when a sign dials in
  // (login_port of the file). 0, or the library's result when it refuses.
  int ServeLogins();

  // Each networked sign's layout as a page set (signs without pages are
  // left out). `only`: the names of the signs to upload, empty for all.
  std::vector<SignResult> Upload(const std::vector<std::string>& only = {});
  // Sets every sign's clock from the host's.
  std::vector<SignResult> Clock(const std::vector<std::string>& only = {});
  // Calls `ticket` to counter `counter`, in this order: the counter's
  // line-up fields, then its collected data fields, then its bar screens
  // (one step each, every sign of a step at once), then the announcement on
  // every sign that speaks. Nothing is sent, and `mistake` says why, when
  // the counter does not exist or the ticket or the announcement has a
  // character GBK cannot hold; the result list is then empty.
  std::vector<SignResult> Call(const std::string& ticket, int counter, std::string* mistake);

  // One command to one sign, named as `command` in the result; `send`
  // makes the library call for it (in the calling thread, with the sign's
  // settings in force) and returns its result code.
  SignResult Send(const Sign& sign, const std::string& command, const std::function<int()>& send);
  // The same command to several signs at once, one result each, in the
  // order given.
  std::vector<SignResult> SendEach(const std::vector<const Sign*>& signs, const std::string& command,
                                   const std::function<int(const Sign&)>& send);

  // The address the library's network functions take for a sign, as the
  // char* they expect (the library never writes into it).
  static char* Address(const Sign& sign);
  static char* Bus(const Sign& sign);

 private:
  std::unique_ptr<HallFile> file_;
  std::mutex upload_;  // one page set in the library's model at a time
};

}  // namespace hall

#endif  // LIBVEXA_X86_HALL_HALL_H
