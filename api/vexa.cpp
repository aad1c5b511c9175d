// The C interface: one forwarding function per entry of vexa_functions.h,
// and the few C functions that have no C++ twin of the same shape (result
// texts, version, last reason, the bitmap as pointer and length, the date
// text, emptying the show-page model, the settings in force). vexa.h is the
// header written from the same list, so each definition here is checked
// against its installed prototype.
#include "vexa.h"

#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "SKYREL.h"
#include "api/Settings.h"
#include "core/Trace.h"
#include "model/GlobalMember.h"
#include "vexa-x86/version.h"

namespace {

// Calls `call` and hands back its value; should an exception ever reach this
// point, the caller gets "not accepted" (false, nothing) instead of a
// terminated process, since no exception may cross into C.
template <class R, class Call>
R Guarded(Call call) noexcept {
  try {
    return call();
  } catch (...) {
    try {
      trace::SetReason("an unexpected failure inside the library");
    } catch (...) {
      // Out of memory for the reason itself: the result still says 1.
    }
    if constexpr (std::is_same_v<R, bool>) {
      return false;
    } else if constexpr (!std::is_void_v<R>) {
      return VEXA_NOT_ACCEPTED;
    }
  }
}

// True when a C function of type C forwards to a C++ function of type Cxx
// without converting anything: the same return type and parameter types, but
// for the texts, which C passes as const char* where C++ takes char*.
template <class C, class Cxx>
struct SameParameter : std::is_same<C, Cxx> {};
template <>
struct SameParameter<const char*, char*> : std::true_type {};

template <class C, class Cxx>
struct SameSignature : std::false_type {};
template <class R, class... C, class... Cxx>
struct SameSignature<R (*)(C...), R (*)(Cxx...)> {
  static constexpr bool Check() {
    if constexpr (sizeof...(C) != sizeof...(Cxx)) {
      return false;
    } else {
      return (SameParameter<C, Cxx>::value && ...);
    }
  }
  static constexpr bool value = Check();
};

}  // namespace

// How each kind of argument is handed to the C++ function. The C++
// functions take char* for texts they only read; none of them writes into a
// text.
#define VEXA_C_PASS_TEXT(name) const_cast<char*>(name)
#define VEXA_C_PASS_INT(name) name
#define VEXA_C_PASS_BOOL(name) name
#define VEXA_C_PASS_SHORT(name) name
#define VEXA_C_PASS_VOID(name)

// Each C function forwards to its C++ function; the list must give the C++
// function's own parameter types (a C text where it takes char*), which is
// checked here, since the compiler would otherwise convert an int to a bool
// or a short without a word.
#define VEXA_FUNCTION(ret, name, cxx, params)                                        \
  extern "C" ret name(VEXA_C_PARAMS(params)) {                                       \
    return Guarded<ret>([&]() -> ret { return cxx(VEXA_C_ARGS(params)); });          \
  }                                                                                  \
  static_assert(SameSignature<decltype(&name), decltype(&cxx)>::value,               \
                "vexa_functions.h: " #name " does not take the parameters of " #cxx);
#include "vexa_functions.h"
#undef VEXA_FUNCTION

// ---------------------------------------------------------------------------
extern "C" const char* vexa_result_text(int result) {
  switch (result) {
    case VEXA_OK:
      return "accepted";
    case VEXA_NOT_ACCEPTED:
      return "not accepted or nothing sent";
    case VEXA_NO_REPLY:
      return "no reply: time-out, receive error or connection closed";
    case VEXA_STATUS_2:
      return "refused by the controller with status \"2\"";
    case VEXA_STATUS_3:
      return "refused by the controller with status \"3\"";
    default:
      return "unknown result code";
  }
}

extern "C" const char* vexa_version(void) { return VEXA_VERSION_STRING; }

extern "C" const char* vexa_last_reason(void) { return trace::LastReason().c_str(); }

extern "C" int vexa_image_content_buffer(const char* source, int colour_mode, int width,
                                         int height, const unsigned char** bitmap,
                                         int* length) {
  return Guarded<int>([&]() -> int {
    if (bitmap != nullptr) *bitmap = nullptr;
    if (length != nullptr) *length = 0;
    if (bitmap == nullptr || length == nullptr) {
      return trace::Refuse("the bitmap or length pointer is null");
    }
    if (source == nullptr) return trace::Refuse("the image source is null");
    // ImageContentBuffer states the reason of its refusal itself.
    const std::pair<unsigned char*, int> image =
        ImageContentBuffer(const_cast<char*>(source), colour_mode, width, height);
    if (image.first == nullptr) return VEXA_NOT_ACCEPTED;
    *bitmap = image.first;
    *length = image.second;
    return VEXA_OK;
  });
}

extern "C" const char* vexa_current_date_to_string(int mode) {
  thread_local std::string text;
  try {
    text = currentDateToString(mode);
  } catch (...) {
    text.clear();
  }
  return text.c_str();
}

extern "C" void vexa_clear_show_pages(void) {
  Guarded<void>([] {
    std::lock_guard<std::mutex> lock(globalMember.modelLock);
    globalMember.showPages.clear();
  });
}

// ---------------------------------------------------------------------------
// The settings in force, each taken from one reading of the settings under
// the lock the setters take (CurrentSettings()).
extern "C" int vexa_send_time_out(void) {
  return Guarded<int>([] { return CurrentSettings().sendTimeOutMs; });
}

extern "C" int vexa_receive_time_out(void) {
  return Guarded<int>([] { return CurrentSettings().receiveTimeOutMs; });
}

extern "C" int vexa_re_send_times(void) {
  // The settings hold the attempts: the repeats and the first one.
  return Guarded<int>([] { return CurrentSettings().attempts - 1; });
}

extern "C" const char* vexa_network_card_ip(void) {
  // A copy: the library's own text is replaced by the next BindNetworkCard.
  thread_local std::string address;
  try {
    address = CurrentSettings().localIp;
  } catch (...) {
    address.clear();
  }
  return address.c_str();
}

extern "C" int vexa_network_card_port(void) {
  return Guarded<int>([] { return CurrentSettings().localPort; });
}

extern "C" int vexa_chn_code_mode(void) {
  return Guarded<int>([] { return CurrentSettings().chnCodeMode; });
}
