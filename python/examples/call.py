"""Calls a ticket on one sign: its line-up field, then the announcement.

    python3 call.py 192.0.2.10 A012 3        # address, ticket, counter

The counter's number is the line-up slot. Prints what the sign did and
exits with 1 when it did not accept a command.
"""

from __future__ import annotations

import argparse
import sys

import vexa


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description="Call a ticket on one sign.")
    parser.add_argument("address", help="the controller's IPv4 address")
    parser.add_argument("ticket", help='the ticket, e.g. "A012"')
    parser.add_argument("counter", type=int, help="the counter, 0 to 255: the line-up slot")
    parser.add_argument("--transport", choices=sorted(vexa.TRANSPORTS), default="udp")
    parser.add_argument("--timeout", type=int, default=500, help="receive time-out in ms")
    args = parser.parse_args(argv)

    sign = vexa.Controller(args.address, args.transport)
    with vexa.settings(receive_time_out=args.timeout, re_send_times=1):
        try:
            sign.send_line_up(args.ticket, slot_no=args.counter, line_kind=vexa.LineKind.FIRST,
                              unit_address=1, bracketed=False)
            sign.play_voice2(f"Ticket {args.ticket}, counter {args.counter}",
                             sound_no=vexa.SoundPrefix.SOUND101)
        except vexa.VexaError as error:
            print(f"{args.address}: {error.reason or error}", file=sys.stderr)
            return 1
    print(f"{args.address}: {args.ticket} shown at counter {args.counter} and announced")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
