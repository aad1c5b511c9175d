// The application's log writer: titled entries appended to a daily file
// vd_logs/Vocadis<YYYYMMDD>.log under the working directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <thread>

#include "SKYREL.h"
#include "core/Clock.h"
#include "core/WriteAll.h"

namespace {

const char kLogDirectory[] = "vd_logs";
const char kRule[] = "--------------------";  // twenty hyphens

std::string Format(const std::tm& t, const char* pattern) {
  char text[80];
  const size_t n = std::strftime(text, sizeof text, pattern, &t);
  return std::string(text, n);
}

}  // namespace

std::string currentDateToString(int mode) {
  try {
    return Format(LocalTimeNow(), mode == 0 ? "%Y%m%d" : "%H:%M:%S");
  } catch (...) {
    return std::string();
  }
}

void WriteLog(const char* title, const char* message) {
  try {
    if (title == nullptr) title = "";
    if (message == nullptr) message = "";

    // Paths relative to the working directory: the same place as the
    // working directory's own path followed by "/vd_logs", for a working
    // directory of any length.
    if (access(kLogDirectory, F_OK) != 0) (void)mkdir(kLogDirectory, 0777);

    // One reading of the clock gives the file's date and the entry's time,
    // so an entry written as midnight passes lands in the file of its own day.
    const std::tm now = LocalTimeNow();
    const std::string time = Format(now, "%H:%M:%S");
    const std::string path =
        std::string(kLogDirectory) + "/Vocadis" + Format(now, "%Y%m%d") + ".log";

    std::string entry;
    entry.append(time).append("    ").append(kRule).append(title).append(kRule).append("\r\n");
    entry.append(time).append("    ").append(message).append("\r\n");

    // The entry goes to the file in one append, so entries written at the
    // same time from several threads never interleave inside an entry.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    WriteAll(fd, entry.data(), entry.size());
    close(fd);
  } catch (...) {
    // Nothing is reported to the caller.
  }
}

void WriteLogThread(const char* title, const char* message) {
  try {
    // The thread writes its own copies: the caller's texts may be gone by
    // the time it runs.
    std::thread([t = std::string(title ? title : ""), m = std::string(message ? message : "")] {
      WriteLog(t.c_str(), m.c_str());
    }).detach();
  } catch (...) {
    // The thread could not be started: the entry is not written.
  }
}
