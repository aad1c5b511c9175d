// The hall as a service: the workers, the store, the metrics and the
// requests in progress. The fronts (HTTP, MQTT) reach it through Service.
#ifndef LIBVEXA_X86_GATEWAY_GATEWAY_H
#define LIBVEXA_X86_GATEWAY_GATEWAY_H

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gateway/Config.h"
#include "gateway/Metrics.h"
#include "gateway/Service.h"
#include "gateway/Store.h"
#include "gateway/Worker.h"
#include "hall/Hall.h"

namespace gateway {

class Gateway : public Service, private WorkerSink {
 public:
  // `log`: where the one line per command goes (stderr in the program;
  // nullptr for none).
  Gateway(std::unique_ptr<hall::HallFile> hall, Config config, std::unique_ptr<Store> store,
          std::FILE* log = stderr);
  ~Gateway() override;

  // Starts the login server when a sign dials in, takes up what the store
  // holds and starts the workers. False with `why` when it cannot.
  bool Start(std::string* why);
  // Requests waiting for their results are answered at once with what
  // they have (202 when not done), as are those that come later.
  void StopWaiting();
  // The workers end after their command in flight; the queues stay in the
  // store.
  void Stop();

  const Config& config() const { return config_; }
  const hall::HallFile& hallFile() const { return hall_.file(); }
  Metrics& metrics() { return metrics_; }
  std::string MetricsText();
  nlohmann::json HealthJson();

  // Service.
  Outcome Call(const std::string& body, bool wait) override;
  Outcome Command(const std::string& sign, const std::string& command, const std::string& body,
                  bool wait) override;
  Outcome Request(int64_t id) override;
  nlohmann::json Signs() override;
  int Subscribe(std::function<void(const SignEvent&)> listener) override;
  void Unsubscribe(int subscription) override;

 private:
  // A request in progress (or finished lately).
  struct Live {
    RequestRecord record;
    int pending = 0;
  };
  Outcome Admit(nlohmann::json asked, std::vector<Job> jobs, bool wait);
  Outcome Answer(int64_t id, bool wait, std::chrono::milliseconds bound);
  Worker* WorkerOf(const std::string& sign);
  void Emit(const SignEvent& e);
  void Log(const Job& job, const hall::SignResult& r);
  void Forget();  // finished requests beyond the number kept in memory

  // WorkerSink.
  hall::Hall& TheHall() override { return hall_; }
  void Sent(const Job& job, const hall::SignResult& r, bool final) override;
  void AvailabilityChanged(const std::string& sign, Availability now) override;
  std::vector<Shown> ShowsOf(const std::string& sign) override;

  hall::Hall hall_;
  Config config_;
  std::unique_ptr<Store> store_;
  std::FILE* log_;
  Metrics metrics_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::map<std::string, Worker*> workerOf_;

  std::mutex admission_;  // one request admitted at a time
  std::mutex liveMutex_;
  std::condition_variable finished_;
  std::map<int64_t, Live> live_;
  std::map<int64_t, std::pair<int64_t, size_t>> jobIndex_;  // job -> request, index
  std::deque<int64_t> finishedOrder_;

  std::mutex showsMutex_;
  std::map<std::string, std::map<std::string, Shown>> shows_;  // sign -> show -> content

  std::mutex listenersMutex_;
  std::map<int, std::function<void(const SignEvent&)>> listeners_;
  int nextListener_ = 1;
  std::mutex logMutex_;
  bool started_ = false;
  bool noWaiting_ = false;  // under liveMutex_
};

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_GATEWAY_H
