// The SQLite store.
#include "gateway/Store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace gateway {

using nlohmann::json;

namespace {

// One prepared statement, finalised when it goes out of scope.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) == SQLITE_OK; }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  Stmt& Bind(int i, int64_t v) {
    ok_ = ok_ && sqlite3_bind_int64(s_, i, v) == SQLITE_OK;
    return *this;
  }
  Stmt& Bind(int i, const std::string& v) {
    ok_ = ok_ && sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT) == SQLITE_OK;
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return ok_ ? sqlite3_step(s_) : SQLITE_ERROR; }
  bool Run() { return Step() == SQLITE_DONE; }
  int64_t Int(int col) { return sqlite3_column_int64(s_, col); }
  std::string Text(int col) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s_, col))) : std::string();
  }

 private:
  sqlite3_stmt* s_ = nullptr;
  bool ok_ = false;
};

json Parsed(const std::string& text) {
  json j = json::parse(text, nullptr, false);
  return j.is_discarded() ? json() : j;
}

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS requests(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  asked TEXT NOT NULL,
  results TEXT NOT NULL,
  done INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS jobs(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  request INTEGER NOT NULL,
  sign TEXT NOT NULL,
  command TEXT NOT NULL,
  args TEXT NOT NULL,
  place TEXT NOT NULL,
  show TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS shows(
  sign TEXT NOT NULL,
  show TEXT NOT NULL,
  command TEXT NOT NULL,
  args TEXT NOT NULL,
  PRIMARY KEY(sign, show));
)";

}  // namespace

Store::~Store() {
  if (db_) sqlite3_close(db_);
}

bool Store::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

std::unique_ptr<Store> Store::Open(const std::string& dir, std::string* why) {
  if (::mkdir(dir.c_str(), 0750) != 0 && errno != EEXIST) {
    *why = "cannot make the state directory " + dir + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<Store> s(new Store);
  const std::string path = dir + "/gateway.db";
  if (sqlite3_open_v2(path.c_str(), &s->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    *why = "cannot open " + path + ": " + (s->db_ ? sqlite3_errmsg(s->db_) : "out of memory");
    return nullptr;
  }
  sqlite3_busy_timeout(s->db_, 5000);
  // WAL, and every commit on the disk before it returns: an answer that
  // says "accepted" follows a commit that holds the command.
  if (!s->Exec("PRAGMA journal_mode=WAL") || !s->Exec("PRAGMA synchronous=FULL") ||
      !s->Exec(kSchema)) {
    *why = "cannot prepare " + path + ": " + sqlite3_errmsg(s->db_);
    return nullptr;
  }
  return s;
}

bool Store::Accept(RequestRecord* request, std::vector<Job>* jobs, const std::vector<int64_t>& replaced,
                   const ReplacedResults& replacedResults) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!Exec("BEGIN IMMEDIATE")) return false;
  bool ok = Stmt(db_, "INSERT INTO requests(asked, results, done) VALUES(?, ?, ?)")
                .Bind(1, request->asked.dump())
                .Bind(2, request->results.dump())
                .Bind(3, request->done ? 1 : 0)
                .Run();
  const int64_t id = sqlite3_last_insert_rowid(db_);
  for (Job& j : *jobs) {
    if (!ok) break;
    j.request = id;
    ok = Stmt(db_, "INSERT INTO jobs(request, sign, command, args, place, show) VALUES(?,?,?,?,?,?)")
             .Bind(1, id).Bind(2, j.sign).Bind(3, j.command).Bind(4, j.args.dump())
             .Bind(5, j.place).Bind(6, j.show)
             .Run();
    j.id = sqlite3_last_insert_rowid(db_);
    if (ok && !j.show.empty()) {
      ok = Stmt(db_, "INSERT OR REPLACE INTO shows(sign, show, command, args) VALUES(?,?,?,?)")
               .Bind(1, j.sign).Bind(2, j.show).Bind(3, j.command).Bind(4, j.args.dump())
               .Run();
    }
  }
  // Each job's result entry names the job, so that a restart finds it.
  for (size_t i = 0; ok && i < jobs->size() && i < request->results.size(); ++i) {
    request->results[i]["job"] = (*jobs)[i].id;
  }
  if (ok) {
    ok = Stmt(db_, "UPDATE requests SET results = ? WHERE id = ?")
             .Bind(1, request->results.dump()).Bind(2, id)
             .Run();
  }
  for (int64_t r : replaced) {
    if (ok) ok = Stmt(db_, "DELETE FROM jobs WHERE id = ?").Bind(1, r).Run();
  }
  for (const auto& [rid, results] : replacedResults ? replacedResults(id)
                                                    : std::vector<std::pair<int64_t, json>>{}) {
    if (ok) {
      ok = Stmt(db_, "UPDATE requests SET results = ?, done = (SELECT COUNT(*) = 0 FROM jobs WHERE request = ?) WHERE id = ?")
               .Bind(1, results.dump()).Bind(2, rid).Bind(3, rid)
               .Run();
    }
  }
  // Finished requests beyond the number kept are forgotten now and then.
  if (ok && ++accepted_ % 256 == 0) {
    ok = Stmt(db_, "DELETE FROM requests WHERE done = 1 AND id <= ?").Bind(1, id - kKeptRequests).Run();
  }
  if (!ok || !Exec("COMMIT")) {
    Exec("ROLLBACK");
    return false;
  }
  request->id = id;
  return true;
}

bool Store::Complete(int64_t job, const RequestRecord& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A delivery is written without waiting for the disk: the next
  // acceptance's synchronous commit takes it along. Lost in a power cut, it
  // means the command goes out once more after the restart, never that an
  // accepted one is missing.
  Exec("PRAGMA synchronous=NORMAL");
  struct Back {
    Store* s;
    ~Back() { s->Exec("PRAGMA synchronous=FULL"); }
  } back{this};
  if (!Exec("BEGIN IMMEDIATE")) return false;
  bool ok = Stmt(db_, "DELETE FROM jobs WHERE id = ?").Bind(1, job).Run();
  if (ok && request.id != 0) {
    ok = Stmt(db_, "UPDATE requests SET results = ?, done = ? WHERE id = ?")
             .Bind(1, request.results.dump()).Bind(2, request.done ? 1 : 0).Bind(3, request.id)
             .Run();
  }
  if (!ok || !Exec("COMMIT")) {
    Exec("ROLLBACK");
    return false;
  }
  return true;
}

bool Store::UpdateRequest(const RequestRecord& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Stmt(db_, "UPDATE requests SET results = ?, done = ? WHERE id = ?")
      .Bind(1, request.results.dump()).Bind(2, request.done ? 1 : 0).Bind(3, request.id)
      .Run();
}

std::vector<Job> Store::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Job> out;
  Stmt q(db_, "SELECT id, request, sign, command, args, place, show FROM jobs ORDER BY id");
  while (q.Step() == SQLITE_ROW) {
    Job j;
    j.id = q.Int(0);
    j.request = q.Int(1);
    j.sign = q.Text(2);
    j.command = q.Text(3);
    j.args = Parsed(q.Text(4));
    j.place = q.Text(5);
    j.show = q.Text(6);
    out.push_back(std::move(j));
  }
  return out;
}

std::vector<RequestRecord> Store::OpenRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RequestRecord> out;
  Stmt q(db_, "SELECT id, asked, results, done FROM requests WHERE done = 0 ORDER BY id");
  while (q.Step() == SQLITE_ROW) {
    out.push_back({q.Int(0), Parsed(q.Text(1)), Parsed(q.Text(2)), q.Int(3) != 0});
  }
  return out;
}

bool Store::FindRequest(int64_t id, RequestRecord* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  Stmt q(db_, "SELECT id, asked, results, done FROM requests WHERE id = ?");
  q.Bind(1, id);
  if (q.Step() != SQLITE_ROW) return false;
  *out = {q.Int(0), Parsed(q.Text(1)), Parsed(q.Text(2)), q.Int(3) != 0};
  return true;
}

std::vector<Shown> Store::Shows() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Shown> out;
  Stmt q(db_, "SELECT sign, show, command, args FROM shows ORDER BY sign, show");
  while (q.Step() == SQLITE_ROW) out.push_back({q.Text(0), q.Text(1), q.Text(2), Parsed(q.Text(3))});
  return out;
}

}  // namespace gateway
