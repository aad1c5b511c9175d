/* vexa.h as strict C99, as the package installs it: every function of the
 * list declared with the types the list gives and taken by its address from
 * the shared library (so each must be exported under its plain name), and
 * the answers that need no controller, read from C. The same header compiled
 * as C++11 is checked by header_cxx11.cpp. */
#include <stdio.h>
#include <string.h>

#include "vexa.h"

int vexa_header_cxx11_failures(void);

typedef void (*any_function)(void);

/* Each function as a pointer of the type the list's macros give: a prototype
 * of vexa.h with another type does not convert without a diagnostic, which
 * the build's -Werror makes an error. */
#define VEXA_FUNCTION(ret, name, cxx, params) \
  static ret (*const typed_##name)(VEXA_C_PARAMS(params)) = name;
#include "vexa_functions.h"
#undef VEXA_FUNCTION

#define VEXA_FUNCTION(ret, name, cxx, params) (any_function)typed_##name,
static const any_function every_function[] = {
#include "vexa_functions.h"
};
#undef VEXA_FUNCTION

static int failures = 0;

static void expect(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "failed: %s\n", what);
    ++failures;
  }
}

int main(void) {
  /* Read through a pointer the compiler cannot see through, so that the
   * table, and with it every name, is linked. */
  const any_function* volatile table = every_function;
  unsigned linked = 0, i;
  const unsigned char* bitmap = (const unsigned char*)"?";
  int length = -1;
  bool complete = true;

  expect(VEXA_OK == 0 && VEXA_NOT_ACCEPTED == 1 && VEXA_NO_REPLY == 2 && VEXA_STATUS_2 == 3 &&
             VEXA_STATUS_3 == 4,
         "result codes 0 to 4");
  expect(strcmp(vexa_result_text(VEXA_STATUS_2), "refused by the controller with status \"2\"") == 0,
         "result text of 3");
  expect(strcmp(vexa_last_reason(), "") == 0, "no reason before the first refusal");
  expect(vexa_start_play_net("192.0.2.300", 1) == VEXA_NOT_ACCEPTED, "address refused");
  expect(strcmp(vexa_last_reason(), "address \"192.0.2.300\" is not dotted IPv4") == 0,
         "reason of the refused address");
  complete = vexa_check_show_page();
  expect(complete == false, "an empty model is not complete");
  expect(vexa_image_content_buffer("", 0, 8, 1, &bitmap, &length) == VEXA_NOT_ACCEPTED,
         "an image without a name refused");
  expect(bitmap == NULL && length == 0, "a refused image gives no bitmap");
  expect(vexa_get_move_style(1) == 2 && vexa_get_move_style(4) == 3, "move styles 1 and 4");
  expect(strlen(vexa_current_date_to_string(0)) == 8, "date text YYYYMMDD");
  expect(strcmp(vexa_network_card_ip(), "127.0.0.1") == 0 && vexa_network_card_port() == 8801,
         "local address and port before any setter");
  failures += vexa_header_cxx11_failures();

  for (i = 0; i < sizeof every_function / sizeof every_function[0]; ++i) {
    if (table[i] != NULL) ++linked;
  }

  printf("%u functions of the list linked, %d failures\n", linked, failures);
  return failures == 0 ? 0 : 1;
}
