/* vexa.h as strict C99: every function of the list taken by its address from
 * the shared library (so each must be exported under its plain name), and
 * the answers that need no controller, read from C. The same header compiled
 * as C++11 is checked by header_cxx11.cpp. */
#include <stdio.h>
#include <string.h>

#include "vexa.h"

int vexa_header_cxx11_failures(void);

typedef void (*any_function)(void);

#define VEXA_FUNCTION(ret, name, cxx, params) (any_function)name,
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
  failures += vexa_header_cxx11_failures();

  for (i = 0; i < sizeof every_function / sizeof every_function[0]; ++i) {
    if (table[i] != NULL) ++linked;
  }

  printf("%u functions of the list linked, %d failures\n", linked, failures);
  return failures == 0 ? 0 : 1;
}
