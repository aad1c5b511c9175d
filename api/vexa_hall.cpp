// The hall's C interface (vexa.h): halls known by a handle, and the results
// of each thread's last operation on each hall.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Trace.h"
#include "hall/Hall.h"
#include "model/GlobalMember.h"
#include "vexa.h"

namespace {

struct Halls {
  std::mutex lock;
  std::map<int, std::shared_ptr<hall::Hall>> open;
  int next = 1;
};

Halls& TheHalls() {
  static Halls* halls = new Halls;  // outlives threads still using a hall
  return *halls;
}

// The results of the calling thread's last operation on each hall.
thread_local std::map<int, std::vector<hall::SignResult>> lastResults;

std::shared_ptr<hall::Hall> Find(int handle) {
  Halls& h = TheHalls();
  std::lock_guard<std::mutex> guard(h.lock);
  auto it = h.open.find(handle);
  return it == h.open.end() ? nullptr : it->second;
}

int Kept(int handle, std::vector<hall::SignResult> results) {
  const int first = hall::FirstFailure(results);
  lastResults[handle] = std::move(results);
  return first;
}

const hall::SignResult* ResultAt(int handle, int index) {
  auto it = lastResults.find(handle);
  if (it == lastResults.end() || index < 0 || static_cast<size_t>(index) >= it->second.size()) {
    return nullptr;
  }
  return &it->second[static_cast<size_t>(index)];
}

// Runs `operation` on the open hall `handle`; 1 with the reason for an
// unknown handle, and for anything that throws (out of memory).
template <class Operation>
int WithHall(int handle, Operation operation) noexcept {
  try {
    const std::shared_ptr<hall::Hall> h = Find(handle);
    if (!h) {
      lastResults.erase(handle);
      return trace::Refuse("no hall is open with the handle " + std::to_string(handle));
    }
    return operation(*h);
  } catch (...) {
    return 1;
  }
}

}  // namespace

extern "C" int vexa_logged_in(const char* ip) {
  if (ip == nullptr) return 0;
  try {
    std::lock_guard<std::mutex> life(ModelLifeLock());
    if (ModelGone()) return 0;
    std::lock_guard<std::mutex> lock(globalMember.clientLock);
    for (const GlobalMember::tagSocketClient& c : globalMember.socketClients) {
      if (c.bLogin && c.strIp == ip) return 1;
    }
  } catch (...) {
  }
  return 0;
}

extern "C" int vexa_hall_open(const char* path, char* error, int error_size) {
  try {
    if (error != nullptr && error_size > 0) error[0] = '\0';
    if (path == nullptr) return trace::Refuse("the hall file's path is null") - 1;
    std::vector<hall::Mistake> mistakes;
    std::unique_ptr<hall::Hall> opened = hall::Hall::Open(path, &mistakes);
    if (!opened) {
      std::string all;
      for (const hall::Mistake& m : mistakes) all += (all.empty() ? "" : "\n") + m.Text();
      if (error != nullptr && error_size > 0) {
        const size_t n = std::min(all.size(), static_cast<size_t>(error_size) - 1);
        all.copy(error, n);
        error[n] = '\0';
      }
      trace::Refuse(all);
      return 0;
    }
    Halls& h = TheHalls();
    std::lock_guard<std::mutex> guard(h.lock);
    const int handle = h.next++;
    h.open.emplace(handle, std::shared_ptr<hall::Hall>(std::move(opened)));
    return handle;
  } catch (...) {
    return 0;
  }
}

extern "C" int vexa_hall_call(int hall, const char* ticket, int counter) {
  return WithHall(hall, [&](hall::Hall& h) {
    if (ticket == nullptr) return trace::Refuse("the ticket is null");
    std::string mistake;
    std::vector<hall::SignResult> results = h.Call(ticket, counter, &mistake);
    if (!mistake.empty()) {
      lastResults[hall].clear();
      return trace::Refuse(mistake);
    }
    return Kept(hall, std::move(results));
  });
}

extern "C" int vexa_hall_upload(int hall) {
  return WithHall(hall, [&](hall::Hall& h) { return Kept(hall, h.Upload()); });
}

extern "C" int vexa_hall_clock(int hall) {
  return WithHall(hall, [&](hall::Hall& h) { return Kept(hall, h.Clock()); });
}

extern "C" int vexa_hall_serve_logins(int hall) {
  return WithHall(hall, [&](hall::Hall& h) { return h.ServeLogins(); });
}

extern "C" int vexa_hall_result_count(int hall) {
  auto it = lastResults.find(hall);
  return it == lastResults.end() ? 0 : static_cast<int>(it->second.size());
}

extern "C" const char* vexa_hall_result_sign(int hall, int index) {
  const hall::SignResult* r = ResultAt(hall, index);
  return r ? r->sign.c_str() : "";
}

extern "C" const char* vexa_hall_result_command(int hall, int index) {
  const hall::SignResult* r = ResultAt(hall, index);
  return r ? r->command.c_str() : "";
}

extern "C" int vexa_hall_result_code(int hall, int index) {
  const hall::SignResult* r = ResultAt(hall, index);
  return r ? r->result : 1;
}

extern "C" const char* vexa_hall_result_reason(int hall, int index) {
  const hall::SignResult* r = ResultAt(hall, index);
  return r ? r->reason.c_str() : "";
}

extern "C" int vexa_hall_result_ms(int hall, int index) {
  const hall::SignResult* r = ResultAt(hall, index);
  return r ? static_cast<int>(r->ms) : 0;
}

extern "C" int vexa_hall_close(int hall) {
  try {
    std::shared_ptr<hall::Hall> closing;  // released outside the lock
    Halls& h = TheHalls();
    {
      std::lock_guard<std::mutex> guard(h.lock);
      auto it = h.open.find(hall);
      if (it == h.open.end()) {
        return trace::Refuse("no hall is open with the handle " + std::to_string(hall));
      }
      closing = std::move(it->second);
      h.open.erase(it);
    }
    lastResults.erase(hall);
    return 0;
  } catch (...) {
    return 1;
  }
}
