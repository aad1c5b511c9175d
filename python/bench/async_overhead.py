"""What vexa.aio costs: 64 emulated signs driven from one event loop against
the same 64 signs driven by 64 threads calling the synchronous API, each
sign getting its calls one after another. Prints calls per second of each
and their ratio (asyncio / threads), once for signs that answer at once and
once for signs that answer after a few milliseconds, as controllers do.

    VEXA_LIBRARY=build/libvexa-x86.so.1 PYTHONPATH=python \\
        python3 python/bench/async_overhead.py build/sim/vexa-sim \\
        [--calls 100] [--rounds 5] [--reply-ms 0,3]

One vexa-sim plays the 64 controllers on 127.0.22.1 to 127.0.22.64 (with
--reply-ms N > 0 it answers each frame after N ms). Each round runs both
ways, alternately; the best round of each is reported, so that a pause of
the machine in one round does not decide the ratio, and the median beside
it. With answers at once the machine's cores are the limit, and the ratio is
the cost of handing each call to its sign's thread and its result back to
the loop; with answers after some milliseconds the signs are, as with real
controllers.
"""

from __future__ import annotations

import argparse
import asyncio
import statistics
import subprocess
import threading
import time

import vexa
from vexa.aio import AsyncController

SIGNS = [f"127.0.22.{n}" for n in range(1, 65)]


def with_threads(calls: int) -> float:
    """Seconds for 64 threads, one per sign, each making its calls."""
    start = threading.Barrier(len(SIGNS) + 1)

    def sign_thread(address: str) -> None:
        sign = vexa.Controller(address)
        start.wait()
        for n in range(calls):
            sign.play_show_page(n % 256)

    threads = [threading.Thread(target=sign_thread, args=(a,)) for a in SIGNS]
    for t in threads:
        t.start()
    start.wait()
    began = time.perf_counter()
    for t in threads:
        t.join()
    return time.perf_counter() - began


def with_asyncio(calls: int) -> float:
    """Seconds for one event loop with a task per sign making its calls."""

    async def sign_task(sign: AsyncController) -> None:
        for n in range(calls):
            await sign.play_show_page(n % 256)

    async def drive() -> float:
        signs = [AsyncController(a) for a in SIGNS]
        began = time.perf_counter()
        await asyncio.gather(*(sign_task(s) for s in signs))
        return time.perf_counter() - began

    return asyncio.run(drive())


def measure(sim_program: str, reply_ms: int, calls: int, rounds: int) -> None:
    reply = ["--reply", f"delay:{reply_ms}"] if reply_ms > 0 else []
    sim = subprocess.Popen(
        [sim_program, "--no-tcp", "--keep", "1", *reply,
         *[a for s in SIGNS for a in ("--address", s)]],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        assert sim.stderr is not None
        while f"listening on {SIGNS[-1]}" not in sim.stderr.readline():
            pass
        threading.Thread(target=sim.stderr.read, daemon=True).start()
        vexa.settings(local_port=0, receive_time_out=1000, re_send_times=0)
        with_threads(5)  # the threads of both ways started once before measuring
        with_asyncio(5)
        total = calls * len(SIGNS)
        threaded, awaited = [], []
        for _ in range(rounds):
            threaded.append(total / with_threads(calls))
            awaited.append(total / with_asyncio(calls))
    finally:
        sim.terminate()
        sim.wait(10)
    when = f"answered after {reply_ms} ms" if reply_ms else "answered at once"
    print(f"{len(SIGNS)} signs {when}, {calls} calls each, {rounds} rounds "
          "(best; median in brackets)")
    print(f"  64 threads, synchronous API: {max(threaded):8.0f} calls/s "
          f"({statistics.median(threaded):.0f})")
    print(f"  one event loop, vexa.aio:    {max(awaited):8.0f} calls/s "
          f"({statistics.median(awaited):.0f})")
    print(f"  ratio asyncio / threads:     {max(awaited) / max(threaded):8.2f} "
          f"(median {statistics.median(awaited) / statistics.median(threaded):.2f})")


def main() -> None:
    parser = argparse.ArgumentParser(description="vexa.aio against threads, 64 signs.")
    parser.add_argument("sim", help="the vexa-sim program")
    parser.add_argument("--calls", type=int, default=100, help="calls per sign and round")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--reply-ms", default="0,3",
                        help="how long the signs take to answer, ms; several comma-separated")
    args = parser.parse_args()
    for reply_ms in (int(ms) for ms in args.reply_ms.split(",")):
        measure(args.sim, reply_ms, args.calls, args.rounds)


if __name__ == "__main__":
    main()
