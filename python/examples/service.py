"""A small calling service with asyncio: clients send lines "TICKET COUNTER"
over TCP, and the ticket goes to the sign of that counter while the service
goes on serving the others.

    python3 service.py --sign 3=192.0.2.10 --sign 4=192.0.2.11 --port 8765
    printf 'A012 3\\n' | nc 127.0.0.1 8765          # answers "ok" or "error: ..."

Each counter's sign gets its commands one at a time in the order they came
(vexa.aio keeps one command in flight per sign); signs of different
counters are served at once, and a sign that does not answer holds up no
other.
"""

from __future__ import annotations

import argparse
import asyncio
import sys

import vexa
from vexa.aio import AsyncController


class CallingService:
    """The signs by counter number, and how a line is answered."""

    def __init__(self, signs: dict[int, AsyncController]) -> None:
        self.signs = signs

    async def call(self, ticket: str, counter: int) -> str:
        sign = self.signs.get(counter)
        if sign is None:
            return f"error: no sign for counter {counter}"
        try:
            await sign.send_line_up(ticket, slot_no=counter, line_kind=vexa.LineKind.FIRST,
                                    unit_address=1, bracketed=False)
            await sign.send_collection_data(ticket, data_index=counter,
                                            attr_high=vexa.Colour.GREEN)
        except vexa.VexaError as error:
            return f"error: {error.reason or error}"
        return "ok"

    async def serve_client(self, reader: asyncio.StreamReader,
                           writer: asyncio.StreamWriter) -> None:
        try:
            while line := await reader.readline():
                words = line.decode("utf-8", "replace").split()
                if len(words) != 2 or not words[1].isdigit():
                    answer = "error: send TICKET COUNTER"
                else:
                    answer = await self.call(words[0], int(words[1]))
                writer.write(answer.encode() + b"\n")
                await writer.drain()
        finally:
            writer.close()


def parse_signs(given: list[str]) -> dict[int, AsyncController]:
    signs: dict[int, AsyncController] = {}
    for item in given:
        counter, _, address = item.partition("=")
        signs[int(counter)] = AsyncController(address)
    return signs


async def serve(host: str, port: int, signs: dict[int, AsyncController]) -> None:
    service = CallingService(signs)
    server = await asyncio.start_server(service.serve_client, host, port)
    print(f"serving {len(signs)} signs on {host}:{port}", flush=True)
    async with server:
        await server.serve_forever()


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description="Call tickets on signs over TCP.")
    parser.add_argument("--sign", action="append", default=[], metavar="COUNTER=ADDRESS",
                        help="the sign of a counter; repeat for each counter")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8765)
    parser.add_argument("--timeout", type=int, default=500, help="receive time-out in ms")
    args = parser.parse_args(argv)
    vexa.settings(receive_time_out=args.timeout)
    try:
        asyncio.run(serve(args.host, args.port, parse_signs(args.sign)))
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
