// The gateway's memory on disk (SQLite, WAL, every commit synchronous): the
// commands accepted and not yet delivered, what each sign should show, and
// the requests with their results. A gateway killed at any moment finds
// after its restart every command it had answered for.
#ifndef LIBVEXA_X86_GATEWAY_STORE_H
#define LIBVEXA_X86_GATEWAY_STORE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/Request.h"

struct sqlite3;

namespace gateway {

// A request as kept: what was asked and each job's outcome so far.
struct RequestRecord {
  int64_t id = 0;
  nlohmann::json asked;    // {"call":{...}} or {"sign":..., "command":..., "args":{...}}
  nlohmann::json results;  // one object per job
  bool done = false;
};

// A field's content as a sign should show it now.
struct Shown {
  std::string sign, show, command;
  nlohmann::json args;
};

class Store {
 public:
  ~Store();
  // Opens (creating) DIR/gateway.db. nullptr with `why` when it cannot.
  static std::unique_ptr<Store> Open(const std::string& dir, std::string* why);

  // In one transaction: the request, its jobs (their ids are set), the jobs
  // they replace removed, and what the signs should show. False when the
  // commit failed (nothing of it is kept).
  // `replacedResults` gives, for the new request's id, the requests whose
  // jobs were replaced with their results as they now stand.
  using ReplacedResults =
      std::function<std::vector<std::pair<int64_t, nlohmann::json>>(int64_t newRequest)>;
  bool Accept(RequestRecord* request, std::vector<Job>* jobs, const std::vector<int64_t>& replaced,
              const ReplacedResults& replacedResults);
  // A job delivered (or given up): it leaves the queue and its request's
  // results are written.
  bool Complete(int64_t job, const RequestRecord& request);
  // Writes a request's results (a job of it replaced by a newer one).
  bool UpdateRequest(const RequestRecord& request);

  // Every job not yet delivered, in the order accepted.
  std::vector<Job> Pending();
  // Requests with a job not yet delivered.
  std::vector<RequestRecord> OpenRequests();
  bool FindRequest(int64_t id, RequestRecord* out);
  // What every sign should show.
  std::vector<Shown> Shows();

  // Requests kept with their results; older finished ones are forgotten.
  static constexpr int64_t kKeptRequests = 10000;

 private:
  Store() = default;
  bool Exec(const char* sql);
  sqlite3* db_ = nullptr;
  std::mutex mutex_;
  int64_t accepted_ = 0;
};

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_STORE_H
