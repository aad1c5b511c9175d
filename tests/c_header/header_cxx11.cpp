// vexa.h as C++11: the enumeration, the bool results and the texts as C++
// sees them, through the same exported functions.
#include <cstring>

#include "vexa.h"

extern "C" int vexa_header_cxx11_failures(void) {
  int failures = 0;
  const vexa_result refused = VEXA_STATUS_3;
  if (std::strcmp(vexa_result_text(refused), "refused by the controller with status \"3\"") != 0)
    ++failures;
  const bool complete = vexa_check_show_page();
  if (complete) ++failures;
  if (vexa_send_line_up_net(nullptr, "192.0.2.1", 1, 3, 1, 1, true) != VEXA_NOT_ACCEPTED)
    ++failures;
  if (std::strcmp(vexa_last_reason(), "the text is null") != 0) ++failures;
  return failures;
}
