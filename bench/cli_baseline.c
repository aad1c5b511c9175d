/* The baseline of bench/cli.sh: the least a program can do to play a show
 * page, one library call with vexa's default settings (500 ms reply wait,
 * one more attempt), as a whole process. */
#include <stdlib.h>

#include "vexa.h"

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  vexa_set_receive_time_out(500);
  vexa_set_re_send_times(1);
  return vexa_play_show_page_net(argv[1], 1, atoi(argv[2]));
}
