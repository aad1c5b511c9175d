#!/usr/bin/env python3
"""The Wireshark dissector held against vexa-sim's decoder, field by field.

The frames are the library's own: every_command sends every command family
to vexa-sim (accepting, refusing with "2" and "3", echoing, garbling) with
the trace on, and the trace gives each transmission's frames and reply.
From them this test writes captures: datagrams (long frames split), TCP
connections cut at awkward places, the login link with its greeting, ports
found by content, broken frames and random bytes. tshark with vexa.lua and
`vexa-sim decode --json` decode each capture; every frame of one must be a
frame of the other with the same fields and values, in the same order on
each path. Lua errors and malformed-packet marks fail the test. Result codes
of replies, display filters and a second pass are checked against values
worked out by hand.
"""

import argparse
import json
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "wireshark"))
from captures import Capture, Connection  # noqa: E402

HOST, CONTROLLER = "192.0.2.1", "192.0.2.10"
LOGIN_PORT = 9000
BYTES_FIELDS = {"payload", "extra", "flags", "contentBytes", "bytes", "unread", "modeBits", "magic", "endMark"}
# What the dissector shows beyond the emulator: the header's fields, the
# result the library returns for a reply.
DISSECTOR_ONLY = {"magic", "totalLengthField", "payloadLengthField", "endMark", "result", "resultReason"}
FRAME_KEYS = {"src": "src", "dst": "dst", "channel": "channel", "kind": "kind", "command": "command",
              "name": "name", "subCode": "subCode", "length": "length", "checks": "checks", "error": "error"}


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


# --- frames from the library ----------------------------------------------------------------------

def run_library(args, work):
    """Runs every_command against vexa-sim in each reply mode; returns the
    transmissions [(channel, [frames], reply or None)] of each run and the
    login greeting the controller received."""
    env = dict(os.environ, TMPDIR=work)
    runs = {}
    greeting = None
    for mode in ["accept", "refuse2", "refuse3", "echo", "malformed"]:
        trace = os.path.join(work, "trace-%s.txt" % mode)
        if os.path.exists(trace):
            os.remove(trace)
        env["VEXA_TRACE"] = trace
        sim_out = os.path.join(work, "sim-%s.json" % mode)
        if mode == "accept":
            driver = subprocess.Popen([args.driver, args.address, "all", str(args.login_port)], env=env,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            if driver.stdout.readline().strip() != "open":
                fail("every_command did not open its login server")
            sim = subprocess.Popen([args.sim, "--address", args.address, "--json", "--login",
                                    "127.0.0.1:%d" % args.login_port], stdout=open(sim_out, "w"),
                                   stderr=subprocess.DEVNULL)
            deadline = time.time() + 20
            while time.time() < deadline and "LoginGreeting" not in open(sim_out).read():
                time.sleep(0.05)
            time.sleep(0.3)  # the controller's answer to the greeting reaches the login server
            driver.stdin.write("go\n")
            driver.stdin.flush()
        else:
            sim = subprocess.Popen([args.sim, "--address", args.address, "--json", "--reply", mode],
                                   stdout=open(sim_out, "w"), stderr=subprocess.DEVNULL)
            time.sleep(0.3)
            driver = subprocess.Popen([args.driver, args.address, "few"], env=env, stdout=subprocess.PIPE,
                                      text=True)
        out, _ = driver.communicate(timeout=300)
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=20)
        if driver.returncode != 0:
            fail("every_command %s exited with %d" % (mode, driver.returncode))
        if mode == "accept":
            for line in open(sim_out):
                item = json.loads(line)
                if item["name"] == "LoginGreeting":
                    greeting = bytes.fromhex(item["raw"])
            if greeting is None:
                fail("the controller was not greeted")
            if "login PlayShowPage_Net(ip, mode, 2)=0" not in out:
                fail("the login link did not carry the commands:\n" + out)
        decoded = subprocess.run([args.sim, "decode", "--json", trace], capture_output=True, text=True, check=True)
        runs[mode] = transmissions(decoded.stdout)
    return runs, greeting


def transmissions(json_lines):
    result, current = [], None
    for line in json_lines.splitlines():
        item = json.loads(line)
        if item.get("kind") == "noReply" or item.get("name") == "Reply":
            if current:
                reply = bytes.fromhex(item["raw"]) if item.get("name") == "Reply" else None
                result.append((current[0], current[1], reply))
                current = None
            continue
        if current is None or current[0] != item["channel"]:
            current = (item["channel"], [])
        current[1].append(bytes.fromhex(item["raw"]))
    return result


# --- captures ------------------------------------------------------------------------------------------

def datagrams(frame):
    return [frame[i:i + 1408] for i in range(0, len(frame), 1408)] or [b""]


def awkward_cuts(data, k, whole_head=False):
    """Offsets that cut a stream inside magic, length field, payload and end
    mark, varied with k. With whole_head the first segment holds at least
    the magic and the length field, as a frame found by its content needs."""
    picks = [(1, 5), (3, 9, 18), (4, 8, 17), (2, len(data) - 1), (len(data) // 2,), ()]
    if whole_head:
        picks = [(8, 17), (9, len(data) - 1), (len(data) // 2,), ()]
    cuts = set(picks[k % len(picks)])
    return sorted(c for c in cuts if 0 < c < len(data))


def write_network_capture(path, runs, greeting, udp_port=8800, tcp_port=8900, host_port=8801, login=True):
    accept_reply = next(r for c, f, r in runs["accept"] if r and r[8] == 0x81 and r[17] == 0x31)
    with Capture(path) as cap:
        port = 40000
        items = [(mode, t) for mode in ["accept", "refuse2", "refuse3", "echo", "malformed"] for t in runs[mode]]
        for k, (mode, (channel, frames, reply)) in enumerate(items):
            if channel == "udp":
                for frame in frames:
                    for piece in datagrams(frame):
                        cap.udp(HOST, host_port, CONTROLLER, udp_port, piece)
                if reply is not None:
                    cap.udp(CONTROLLER, udp_port, HOST, host_port, reply)
            elif channel == "tcp":
                port += 1
                conn = Connection(cap, HOST, port, CONTROLLER, tcp_port, client_isn=1000 + k * 7919)
                stream = b"".join(frames)
                conn.send("client", stream, awkward_cuts(stream, k, whole_head=tcp_port != 8900))
                if reply is not None:
                    conn.send("server", reply, awkward_cuts(reply, k + 1, whole_head=tcp_port != 8900))
                conn.close()
        if login:
            conn = Connection(cap, CONTROLLER, 41000, HOST, LOGIN_PORT, client_isn=7, server_isn=4000000000)
            conn.send("server", greeting, [5])
            conn.send("client", accept_reply)
            for k, (channel, frames, reply) in enumerate(runs["accept"]):
                if channel != "login":
                    continue
                stream = b"".join(frames)
                conn.send("server", stream, awkward_cuts(stream, k))
                if reply is not None:
                    conn.send("client", reply, awkward_cuts(reply, k + 2))
            conn.close()


def hand_made_replies():
    """Replies of both layouts and every status, with the result code the
    library returns for each (worked out from its reply table)."""
    def net(code, status):
        return bytes([0xFE, 0x5C, 0x4B, 0x89, 20, 0, 0, 0, code, 0, 0, 0, 0, 1, 0, 0, 0, status, 0xFF, 0xFF])
    return [
        (net(0x81, ord("1")), "1", 0), (net(0x81, ord("2")), "2", 3), (net(0x81, ord("3")), "3", 4),
        (net(0x81, ord("7")), "7", 1), (net(0x31, ord("1")), "1", 0), (net(0x6C, ord("2")), "2", 3),
        (net(0x78, ord("3")), "3", 4), (net(ord("h"), ord("O")), "O", 0), (net(ord("h"), ord("2")), "2", 1),
        (net(0x66, ord("1")), "1", 1),
        (bytes([0xFE, 0x97, 0, 0, 0, 0, ord("1")]), "1", 1), (bytes([0xFE, 0x00, 0, 0, 0, 0, ord("O")]), "O", 1),
    ]


def write_reply_capture(path):
    with Capture(path) as cap:
        for reply, _, _ in hand_made_replies():
            cap.udp(CONTROLLER, 8800, HOST, 8801, reply)


def envelope(code, payload, sub=0):
    n = len(payload)
    return (b"\xFE\x5C\x4B\x89" + (n + 19).to_bytes(4, "little") + bytes([code, sub, 0, 0, 0]) +
            n.to_bytes(4, "little") + payload + b"\xFF\xFF")


def mutations(frame, rng):
    """Broken copies of a frame: a byte changed, wrong length fields, a
    wrong end mark, cut short."""
    out = []
    if len(frame) > 19:
        b = bytearray(frame)
        b[rng.randrange(17, len(frame) - 2)] ^= 1 << rng.randrange(8)
        out.append(bytes(b))
    b = bytearray(frame)
    b[4:8] = (len(frame) + rng.choice([-3, -1, 1, 40])).to_bytes(4, "little")
    out.append(bytes(b))
    b = bytearray(frame)
    b[13:17] = (len(frame) - 19 + rng.choice([-1, 2])).to_bytes(4, "little", signed=True)
    out.append(bytes(b))
    out.append(frame[:-2] + b"\xFF\x00")
    out.append(frame[:rng.randrange(1, len(frame))])
    return out


def broken_frames(runs, rng):
    frames = [f for c, fs, r in runs["accept"] if c == "udp" for f in fs]
    broken = [m for f in frames for m in mutations(f, rng)]
    codes = [0x22, 0x31, 0x51, 0x52, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x6C, 0x76, 0x78, 0x99]
    for code in codes:  # random payloads in good envelopes, every decoder's paths
        for _ in range(12):
            payload = bytes(rng.randrange(256) for _ in range(rng.choice([0, 1, 2, 7, 13, 16, 19, 23, 40, 90])))
            broken.append(envelope(code, payload))
        for f in frames:  # a real payload of one command under another's code
            if len(f) < 600 and rng.random() < 0.15:
                broken.append(envelope(code, f[17:-2]))
    broken += [bytes(rng.randrange(256) for _ in range(rng.randrange(1, 60))) for _ in range(40)]
    return broken


def write_broken_capture(path, runs, rng):
    """Broken frames and random bytes: each in a datagram to the controller
    and from it, and in TCP connections where each is followed by a quiet
    second, after which both decoders take what is held as it stands."""
    broken = broken_frames(runs, rng)
    with Capture(path) as cap:
        for k, frame in enumerate(broken):
            frame = frame[:1400]
            cap.udp(HOST, 8801 if k % 3 else 40000 + k, CONTROLLER, 8800, frame)
            cap.udp(CONTROLLER, 8800, HOST, 8801, frame)
        for start in range(0, len(broken), 25):
            conn = Connection(cap, HOST, 45000 + start, CONTROLLER, 8900)
            for k, frame in enumerate(broken[start:start + 25]):
                conn.send("client", frame, awkward_cuts(frame, k))
                conn.send("server", frame[:30])
                cap.wait(1.1)
            conn.send("client", envelope(0x51, b""))  # the connection ends on a whole frame
            conn.send("server", envelope(0x81, b"1"))
            conn.close()


def write_gbk_capture(path):
    """Every GBK lead and trail byte pair in coordinate texts, so that both
    decoders show the same characters and the same escapes."""
    with Capture(path) as cap:
        for lead in range(0x81, 0xFF):
            text = b"".join(bytes([lead, trail, 0x41]) for trail in range(0x40, 0xFF))
            for part in (text[:190], text[190:380], text[380:]):
                payload = b"\x80\x00\x00\x00\x00\x00\x01\x10" + bytes([len(part) & 0xFF]) + part
                cap.udp(HOST, 8801, CONTROLLER, 8800, envelope(0x60, payload))


# --- the two decoders ----------------------------------------------------------------------------------

def tshark_frames(args, capture, extra=()):
    cmd = [args.tshark, "-r", capture, "-X", "lua_script:" + args.lua, "-T", "json",
           "-o", "vexa.login_port:%d" % LOGIN_PORT] + list(extra)
    run = subprocess.run(cmd, capture_output=True, text=True)
    errors = [line for line in run.stderr.splitlines() if line.strip() and "Running as user" not in line]
    if run.returncode != 0 or errors:
        fail("tshark on %s: exit %d\n%s" % (capture, run.returncode, "\n".join(errors)))
    packets = json.loads(run.stdout, object_pairs_hook=lambda pairs: pairs)
    frames, problems = [], []
    for packet in packets:
        layers = dict(dict(packet)["_source"])["layers"]
        number = dict(dict(layers)["frame"])["frame.number"]
        for key, value in layers:
            if (key.startswith("_ws.lua") and key != "_ws.lua.fake") or key.startswith("_ws.malformed"):
                problems.append("packet %s: %s %s" % (number, key, value))
            if key == "vexa":
                walk_problems(value, number, problems)
                frame = flatten(value)
                if frame is not None:
                    frame["packet"] = number
                    frames.append(frame)
    if problems:
        fail("tshark on %s:\n%s" % (capture, "\n".join(problems[:20])))
    return frames


def walk_problems(pairs, number, problems):
    for key, value in pairs:
        if (key.startswith("_ws.lua") and key != "_ws.lua.fake") or key.startswith("_ws.malformed"):
            problems.append("packet %s: %s %s" % (number, key, value))
        if isinstance(value, list):
            walk_problems(value, number, problems)


def camel(snake):
    head, *rest = snake.split("_")
    return head + "".join(part[:1].upper() + part[1:] for part in rest)


def flatten(pairs):
    """One vexa item of tshark's JSON as {emulator name: value}; None for an
    item that is no frame (a datagram waiting for the rest of its frame)."""
    out = {}

    def walk(items, prefix, namespace):
        items = list(items)
        for i, (key, value) in enumerate(items):
            if not key.startswith("vexa.") or key.endswith("_tree"):
                continue
            name = key[len("vexa."):]
            tree = items[i + 1][1] if i + 1 < len(items) and items[i + 1][0] == key + "_tree" else None
            if tree is not None:
                word = name[len(namespace):] if name.startswith(namespace) else name
                inner = {"block": "", "record": "", "page": "page.", "page.m": "page.m."}[name]
                walk(tree, prefix + word.split(".")[-1] + value + ".", inner)
                continue
            if namespace and name.startswith(namespace):
                name = name[len(namespace):]
            name = camel(name)
            if name in BYTES_FIELDS:
                value = value.replace(":", " ").upper()
            out[prefix + name] = value

    walk(pairs, "", "")
    return out if "name" in out else None


def emulator_frames(args, capture, extra=()):
    run = subprocess.run([args.sim, "decode", "--json", "--login-port", str(LOGIN_PORT)] + list(extra) + [capture],
                         capture_output=True, text=True)
    if run.returncode != 0:
        fail("vexa-sim decode %s: %s" % (capture, run.stderr))
    frames = []
    for line in run.stdout.splitlines():
        item = json.loads(line)
        frame = {}
        for key, name in FRAME_KEYS.items():
            if item.get(key) is not None:
                frame[name] = str(item[key])
        for name, value in item["fields"].items():
            if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
                value = value[1:-1]
            frame[name] = value
        for name, value in frame.items():
            # Known difference: a word or message holding a NUL byte (a page
            # set's number or material entry made of raw bytes) ends there in
            # Wireshark, whose strings cannot hold NUL.
            if "\0" in value:
                frame[name] = value[:value.index("\0")]
        frames.append(frame)
    return frames


def compare(label, theirs, ours, known=None):
    """Frames of each path in order; returns the number of fields compared."""
    def by_path(frames):
        paths = {}
        for f in frames:
            paths.setdefault((f.get("src"), f.get("dst")), []).append(f)
        return paths
    a, b = by_path(theirs), by_path(ours)
    problems, compared = [], 0
    for path in sorted(set(a) | set(b), key=str):
        fa, fb = a.get(path, []), b.get(path, [])
        if len(fa) != len(fb):
            problems.append("%s: vexa-sim %d frames, dissector %d: %s / %s" % (
                path, len(fa), len(fb), [f.get("name") for f in fa], [f.get("name") for f in fb]))
        for k, (x, y) in enumerate(zip(fa, fb)):
            for name, value in x.items():
                compared += 1
                if y.get(name) != value:
                    problems.append("%s frame %d (%s, packet %s) %s: vexa-sim %r, dissector %r" % (
                        path, k + 1, x.get("name"), y.get("packet"), name, value, y.get(name)))
            for name in set(y) - set(x) - {"packet"}:
                if name.split(".")[-1] not in DISSECTOR_ONLY:
                    problems.append("%s frame %d (%s) %s only in the dissector: %r" % (
                        path, k + 1, x.get("name"), name, y[name]))
    if problems:
        fail("%s: %d disagreements\n  %s" % (label, len(problems), "\n  ".join(problems[:int(os.environ.get("VEXA_WIRESHARK_SHOW", "30"))])))
    print("%-10s %5d frames, %7d fields compared, 0 disagreements" % (label, len(theirs), compared))
    return compared


def count_filter(args, capture, expression):
    run = subprocess.run([args.tshark, "-r", capture, "-X", "lua_script:" + args.lua, "-o",
                          "vexa.login_port:%d" % LOGIN_PORT, "-Y", expression, "-T", "fields", "-e", "frame.number"],
                         capture_output=True, text=True, check=True)
    return len(run.stdout.split())


def main():
    parser = argparse.ArgumentParser()
    for option in ["tshark", "sim", "driver", "lua", "work", "address"]:
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--login-port", type=int, required=True)
    parser.add_argument("--seed", type=int, default=int(os.environ.get("VEXA_WIRESHARK_SEED", "17")))
    args = parser.parse_args()
    if not os.path.exists(args.tshark):
        fail("tshark is not installed (scripts/setup.sh installs it)")
    os.makedirs(args.work, exist_ok=True)
    rng = random.Random(args.seed)

    saved = os.path.join(args.work, "frames.json")
    if os.environ.get("VEXA_WIRESHARK_REUSE") and os.path.exists(saved):  # while working on the dissector
        stored = json.load(open(saved))
        runs = {m: [(c, [bytes.fromhex(f) for f in fs], bytes.fromhex(r) if r else None) for c, fs, r in t]
                for m, t in stored["runs"].items()}
        greeting = bytes.fromhex(stored["greeting"])
    else:
        runs, greeting = run_library(args, args.work)
        json.dump({"greeting": greeting.hex(), "runs": {m: [(c, [f.hex() for f in fs], r.hex() if r else None)
                                                             for c, fs, r in t] for m, t in runs.items()}},
                  open(saved, "w"))
    families = {c: set() for c in ["udp", "tcp", "login"]}
    for channel, frames, _ in runs["accept"]:
        families[channel].update(f[8] for f in frames)
    wanted = {0x22, 0x31, 0x51, 0x52, 0x60, 0x61, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x6C, 0x76, 0x78}
    for channel, codes in families.items():
        if codes != wanted:
            fail("%s carried the commands %s, expected %s" % (channel, sorted(map(hex, codes)), sorted(map(hex, wanted))))

    def path(name):
        return os.path.join(args.work, name)

    total = 0
    write_network_capture(path("network.pcap"), runs, greeting)
    theirs = emulator_frames(args, path("network.pcap"))
    ours = tshark_frames(args, path("network.pcap"))
    total += compare("network", theirs, ours)
    if [f for f in ours if f["name"] == "LoginGreeting" and f["channel"] == "login"] == []:
        fail("no login greeting shown")
    two_pass = tshark_frames(args, path("network.pcap"), ["-2"])
    if two_pass != ours:
        fail("a second pass shows other frames than one pass")

    # Ports no preference names: frames found by their content.
    write_network_capture(path("ports.pcap"), runs, greeting, udp_port=18800, tcp_port=18900, host_port=48801,
                          login=False)
    total += compare("ports", emulator_frames(args, path("ports.pcap"), ["--udp-port", "18800", "--tcp-port", "18900"]),
                     tshark_frames(args, path("ports.pcap")))

    write_reply_capture(path("replies.pcap"))
    ours = tshark_frames(args, path("replies.pcap"))
    total += compare("replies", emulator_frames(args, path("replies.pcap")), ours)
    run = subprocess.run([args.tshark, "-r", path("replies.pcap"), "-X", "lua_script:" + args.lua, "-T", "fields",
                          "-e", "vexa.status", "-e", "vexa.result"], capture_output=True, text=True, check=True)
    got = [tuple(line.split("\t")) for line in run.stdout.splitlines()]
    want = [(status, str(result)) for _, status, result in hand_made_replies()]
    if got != want:
        fail("reply statuses and results %s, expected %s" % (got, want))

    write_broken_capture(path("broken.pcap"), runs, rng)
    total += compare("broken", emulator_frames(args, path("broken.pcap")), tshark_frames(args, path("broken.pcap")))

    write_gbk_capture(path("gbk.pcap"))
    total += compare("gbk", emulator_frames(args, path("gbk.pcap")), tshark_frames(args, path("gbk.pcap")))

    # Display filters, with counts worked out from what every_command sends:
    # 3 line-up frames per channel in the main run, 1 by UDP and 1 by TCP
    # in each of the 4 other runs; 4 refusals by UDP and 4 by TCP with "2".
    checks = [('vexa.command == 0x64 && vexa.kind == "net" && !vexa.status', 3 * 3 + 2 * 4),
              ('vexa.status == "2"', 8),
              ('vexa.text contains "A012" && vexa.name == "LineUp"', 2 * 3 + 2 * 4)]
    for expression, expected in checks:
        got = count_filter(args, path("network.pcap"), expression)
        if got != expected:
            fail("%s matched %d packets, expected %d" % (expression, got, expected))
    print("families: %d command codes on each of udp, tcp and login, both reply layouts, the greeting" % len(wanted))
    print("%d passed, 0 failed: %d fields compared, 0 disagreements" % (1, total))


if __name__ == "__main__":
    main()
