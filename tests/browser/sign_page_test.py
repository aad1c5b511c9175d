#!/usr/bin/env python3
"""The sign page in a real browser.

Starts vexa-sim with --http on a loopback address of its own, opens the page
in headless Chromium, and while the page is open runs examples/tour and
examples/quickstart against the emulator. Through Chromium's DevTools
protocol it then reads the page's DOM: the ticket "A012" and the text
"Welcome" must be shown in the sign's areas, the page number must be the one
played, the announcement must be captioned and the relays switched; then it
takes a screenshot. Frames sent by hand play pages 3 and 2 in turn; the time
until the page shows each is printed (measured, not judged). Finally it
stops the emulator, which must end cleanly while the page is still
connected.

usage: sign_page_test.py BUILD_DIR [SCREENSHOT.png]
Needs only Python's standard library and the chromium program.
"""
import base64
import json
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

ADDRESS = "127.0.0.7"  # a loopback address of this test alone
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--window-size=1280,1240", "--remote-debugging-port=0"]
# PlayShowPage(n): a network frame with command 0x66 and the payload n, ~n.
PLAY_PAGE = {n: bytes.fromhex("FE5C4B89 15000000 66 00000000 02000000") + bytes([n, 255 - n, 0xFF, 0xFF])
             for n in (2, 3)}
LATENCY_SAMPLES = 20


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=10.0, step=0.02):
    end = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("gave up waiting for " + what)
        time.sleep(step)


class DevTools:
    """A WebSocket client just big enough for the DevTools protocol."""

    def __init__(self, url):
        assert url.startswith("ws://")
        hostport, path = url[5:].split("/", 1)
        host, port = hostport.rsplit(":", 1)
        self.sock = socket.create_connection((host, int(port)), timeout=15)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{path} HTTP/1.1\r\nHost: {hostport}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(1)
            if not chunk:
                raise Failure("DevTools closed the connection during the handshake")
            head += chunk
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise Failure("DevTools refused the WebSocket: " + head.decode(errors="replace"))
        self.next_id = 0

    def _read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise Failure("DevTools closed the connection")
            data += chunk
        return data

    def _send(self, opcode, payload):
        mask = os.urandom(4)
        head = bytes([0x80 | opcode])
        n = len(payload)
        if n < 126:
            head += bytes([0x80 | n])
        elif n < 65536:
            head += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            head += bytes([0x80 | 127]) + struct.pack(">Q", n)
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def _message(self):
        data = b""
        while True:
            b0, b1 = self._read(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._read(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._read(8))[0]
            payload = self._read(n)
            opcode = b0 & 0x0F
            if opcode == 0x9:
                self._send(0xA, payload)
                continue
            if opcode == 0x8:
                raise Failure("DevTools closed the connection")
            data += payload
            if b0 & 0x80:
                return json.loads(data)

    def call(self, method, **params):
        self.next_id += 1
        self._send(0x1, json.dumps({"id": self.next_id, "method": method, "params": params}).encode())
        while True:
            message = self._message()
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise Failure(f"{method}: {message['error']}")
                return message["result"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise Failure("the page's script failed: " + json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")


# What the test reads from the page: per sign its area texts, page number,
# relay lamps and captions, and the connection badge.
READ_PAGE = """JSON.stringify({
  live: (document.getElementById('connection') || {}).textContent,
  signs: [...document.querySelectorAll('section.sign')].map(s => ({
    id: s.dataset.sign,
    page: (s.querySelector('.page-number') || {}).textContent,
    texts: [...s.querySelectorAll('.area-text')].map(e => e.textContent),
    lamps: [...s.querySelectorAll('.lamp')].map(e => e.className),
    captions: [...s.querySelectorAll('.captions li')].map(e => e.textContent),
    image: (s.querySelector('img.sign-image') || {}).complete && s.querySelector('img.sign-image').naturalWidth,
  })),
  frames: document.querySelectorAll('#log li').length,
})"""


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    shot = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(build, "sign-page.png")
    work = tempfile.mkdtemp(prefix="vexa-sign-page-")
    sim_err = open(os.path.join(work, "sim.err"), "w+")
    sim = subprocess.Popen([os.path.join(build, "sim", "vexa-sim"), "--address", ADDRESS, "--http", ADDRESS + ":0"],
                           stdout=subprocess.DEVNULL, stderr=sim_err)
    chromium = None
    tools = None
    try:
        def page_url():
            sim_err.seek(0)
            for line in sim_err.read().splitlines():
                if "sign page on " in line:
                    return line.split("sign page on ", 1)[1].strip()
            if sim.poll() is not None:
                raise Failure("vexa-sim ended: " + open(sim_err.name).read())
            return None
        url = wait_for("vexa-sim's sign page", page_url)

        profile = os.path.join(work, "profile")
        os.mkdir(profile)
        chromium = subprocess.Popen(["chromium", *CHROMIUM_FLAGS, "--user-data-dir=" + profile, url],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(profile, "DevToolsActivePort")
        wait_for("Chromium's DevTools port", lambda: os.path.exists(port_file) and open(port_file).read().strip(),
                 timeout=60)
        port = open(port_file).read().split()[0]

        def page_target():
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list") as r:
                for t in json.load(r):
                    if t.get("type") == "page" and t.get("url", "").startswith(url):
                        return t["webSocketDebuggerUrl"]
            return None
        tools = DevTools(wait_for("the page in Chromium", page_target, timeout=30))

        def read():
            return json.loads(tools.evaluate(READ_PAGE))
        wait_for("the page to connect and show the sign",
                 lambda: (lambda p: p.get("live") == "live" and [s for s in p["signs"] if s["id"] == ADDRESS])(read()))

        # The applications run while the page is open.
        for example in ("tour", "quickstart"):
            run = subprocess.run([os.path.join(build, "examples", example), ADDRESS], capture_output=True,
                                 text=True, timeout=60)
            results = run.stdout.split()
            if run.returncode != 0 or not results or any(not r.endswith("=0") for r in results):
                raise Failure(f"examples/{example} did not get every command accepted:\n" + run.stdout + run.stderr)

        def sign():
            return next(s for s in read()["signs"] if s["id"] == ADDRESS)

        def shown():
            s = sign()
            # quickstart ends with relay 3 on and relay 1 pulsed.
            return ("A012" in s["texts"] and "Welcome" in s["texts"] and s["page"] == "1" and s["captions"] and
                    s["lamps"][:3] == ["lamp pulse", "lamp", "lamp on"] and s)
        s = wait_for("the ticket, text, page, announcement and relays on the page", shown)
        if s["captions"][-1] != "Ticket A012 to counter 3":
            raise Failure("announcement shown as " + repr(s["captions"]))
        if "Counter 3" not in s["texts"]:
            raise Failure("the coordinate text is missing: " + repr(s["texts"]))
        print("page shows", s["texts"], "page", s["page"], "caption", repr(s["captions"][-1]))

        # The page as the applications left it.
        wait_for("the sign's picture", lambda: sign()["image"])
        shotData = base64.b64decode(tools.call("Page.captureScreenshot", format="png")["data"])
        if shotData[:8] != b"\x89PNG\r\n\x1a\n":
            raise Failure("the screenshot is no PNG")
        with open(shot, "wb") as f:
            f.write(shotData)
        print("screenshot", shot)

        # Frames by hand, pages 3 and 2 in turn: how long until the page shows each.
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sender.bind((ADDRESS, 0))
        times = []
        for k in range(LATENCY_SAMPLES):
            page = 3 if k % 2 == 0 else 2
            start = time.monotonic()
            sender.sendto(PLAY_PAGE[page], (ADDRESS, 8800))
            wait_for(f"page {page} on the page", lambda: sign()["page"] == str(page), step=0.001)
            times.append((time.monotonic() - start) * 1000)
            sender.recv(64)  # the controller's reply
        sender.close()
        times.sort()
        print(f"measured over {len(times)} frames: a played page reached the page's DOM after "
              f"{times[0]:.0f} ms at best, {times[len(times) // 2]:.0f} ms typically, {times[-1]:.0f} ms at worst")

        # The emulator stops cleanly while the page still listens to it.
        sim.send_signal(signal.SIGINT)
        code = sim.wait(timeout=10)
        if code != 0:
            raise Failure(f"vexa-sim ended with status {code} when interrupted")
        print("browser test: passed")
        return 0
    except Failure as e:
        print("browser test FAILED:", e)
        if tools:
            try:
                print("the page showed:", tools.evaluate(READ_PAGE))
            except Exception:  # the page itself may be what failed
                pass
        sim_err.seek(0)
        print(sim_err.read())
        return 1
    finally:
        if chromium:
            chromium.terminate()
            try:
                chromium.wait(timeout=10)
            except subprocess.TimeoutExpired:
                chromium.kill()
        if sim.poll() is None:
            sim.kill()
            sim.wait()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    sys.exit(main())
