// Clock record, date-time text and the login greeting.
#include "core/Clock.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"

namespace {
std::atomic<std::tm (*)()> timeSource{nullptr};
}  // namespace

std::tm LocalTimeNow() {
  if (auto source = timeSource.load()) return source();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

void SetLocalTimeSource(std::tm (*source)()) { timeSource.store(source); }

char* CBuffObj::GetSysDateTime(int timeMode) {
  const bool dropCentury = timeMode == 2;
  const char* fallback = dropCentury ? "01010101010101" : "2001010101010101";
  char* answer = new (std::nothrow) char[17];
  if (answer == nullptr) return nullptr;
  std::strcpy(answer, fallback);
  const std::tm t = LocalTimeNow();
  char text[64];
  int n = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", t.tm_year + 1900,
                        t.tm_mon + 1, t.tm_mday, 0, t.tm_hour, t.tm_min, t.tm_sec);
  if (n == 16) std::strcpy(answer, text + (dropCentury ? 2 : 0));
  return answer;
}

CBuffObj::tagBufferInfo CBuffObj::CheckTimeBuffer(int timeMode) {
  BufferWriter w;
  if (timeMode == 1) {
    char* text = GetSysDateTime(1);
    // Without the date-time text the record would be a wrong clock setting.
    if (text == nullptr) return InvalidBuffer();
    w.u8('1').u8('#').text(text).u8('#');
    delete[] text;
  } else {
    const std::tm t = LocalTimeNow();
    w.u8((t.tm_year + 1900) % 2000).u8(t.tm_mon + 1).u8(t.tm_mday).u8(0);
    w.u8(t.tm_hour).u8(t.tm_min).u8(t.tm_sec);
  }
  return w.finish();
}

CBuffObj::tagBufferInfo CBuffObj::LoginCheckTimeBuffer() {
  BufferWriter w;
  char* text = GetSysDateTime(1);
  if (text == nullptr) return InvalidBuffer();  // out of memory: refuse, never half a greeting
  w.text("1#").text(text).text("#050#");
  delete[] text;
  return w.finish();
}
