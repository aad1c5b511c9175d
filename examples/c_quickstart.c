/* The quick start in C, through vexa.h: tell the controller at the given
 * address to play show page 1, set its brightness, show the ticket being
 * called and speak it, over UDP datagrams; then send to an address that is
 * not one, to show how a refusal explains itself. Each call prints its result
 * code in words, and for a result 1 the reason. */
#include <stdio.h>

#include "vexa.h"

static void report(const char* call, int result) {
  printf("%s=%d (%s)", call, result, vexa_result_text(result));
  if (result == VEXA_NOT_ACCEPTED) printf(": %s", vexa_last_reason());
  printf("\n");
}

int main(int argc, char** argv) {
  const char* ip = argc > 1 ? argv[1] : "127.0.0.1";
  const int udp = 1;

  printf("libvexa-x86 %s\n", vexa_version());
  vexa_set_receive_time_out(500); /* a generous wait for the controller's reply */

  report("vexa_play_show_page_net", vexa_play_show_page_net(ip, udp, 1));
  report("vexa_set_bright_net", vexa_set_bright_net(ip, udp, 10, 1));
  report("vexa_send_line_up_net", vexa_send_line_up_net("A012", ip, udp, 3, 1, 1, false));
  report("vexa_play_voice2_net",
         vexa_play_voice2_net("Ticket A012 to counter 3", ip, NULL, udp, 0, 5, 1, 2));
  report("vexa_start_play_net", vexa_start_play_net("192.0.2.300", udp));
  return 0;
}
