#!/usr/bin/env python3
"""The sign page in a real browser.

Starts vexa-sim with --http on a loopback address of its own, opens the page
in headless Chromium driven by chromedriver through Selenium, and while the
page is open runs examples/tour and examples/quickstart against the
emulator. It then reads the page's DOM: the ticket "A012" and the text
"Welcome" must be shown in the sign's areas, the page number must be the one
played, the announcement must be captioned and the relays switched, and the
decoded-frames log must hold every frame the examples sent, none of them
marked bad; then it takes a screenshot. Frames sent by hand play pages 3 and
2 in turn; the time until the page shows each is printed (measured, not
judged). The page's script must have logged no error. Finally it stops the
emulator, which must end cleanly while the page is still connected.

usage: sign_page_test.py BUILD_DIR [SCREENSHOT.png]
Needs Debian's chromium, chromium-driver and python3-selenium (run it with
/usr/bin/python3, the interpreter python3-selenium belongs to). The driver is
/usr/bin/chromedriver, or $VEXA_CHROMEDRIVER; nothing is ever downloaded.
"""
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

# Selenium must never fetch a driver or a browser of its own.
os.environ["SE_OFFLINE"] = "true"
try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
except ImportError:
    sys.exit("browser test: Selenium is missing; install python3-selenium and run this with /usr/bin/python3")

ADDRESS = "127.0.0.7"  # a loopback address of this test alone
CHROMIUM = os.environ.get("VEXA_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("VEXA_CHROMEDRIVER", "/usr/bin/chromedriver")
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--window-size=1280,1240"]
# PlayShowPage(n): a network frame with command 0x66 and the payload n, ~n.
PLAY_PAGE = {n: bytes.fromhex("FE5C4B89 15000000 66 00000000 02000000") + bytes([n, 255 - n, 0xFF, 0xFF])
             for n in (2, 3)}
LATENCY_SAMPLES = 20
LOG_LINES_KEPT = 200  # the page's log keeps the newest 200 frames


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


# What the test reads from the page: per sign its area texts, page number,
# relay lamps and captions, the connection badge and the frame log's lines
# (those naming this sign, and those marked bad).
READ_PAGE = """return {
  live: (document.getElementById('connection') || {}).textContent,
  signs: [...document.querySelectorAll('section.sign')].map(s => ({
    id: s.dataset.sign,
    page: (s.querySelector('.page-number') || {}).textContent,
    texts: [...s.querySelectorAll('.area-text')].map(e => e.textContent),
    lamps: [...s.querySelectorAll('.lamp')].map(e => e.className),
    captions: [...s.querySelectorAll('.captions li')].map(e => e.textContent),
    image: (s.querySelector('img.sign-image') || {}).complete && s.querySelector('img.sign-image').naturalWidth,
  })),
  frames: [...document.querySelectorAll('#log li')].filter(e => e.textContent.startsWith('[' + arguments[0] + '] ')).length,
  badFrames: [...document.querySelectorAll('#log li.bad')].map(e => e.textContent),
};"""

# Before a frame goes out: note the wall-clock time (ms) at which the sign's
# page number first reads arguments[1]. Selenium's round trips are then not
# part of the measured time.
WATCH_PAGE = """
const sign = arguments[0], want = arguments[1];
window.__vexaShown = null;
const check = () => {
  const s = [...document.querySelectorAll('section.sign')].find(e => e.dataset.sign === sign);
  const p = s && s.querySelector('.page-number');
  if (p && p.textContent === want && window.__vexaShown === null) {
    window.__vexaShown = Date.now();
    window.__vexaWatch.disconnect();
  }
};
if (window.__vexaWatch) window.__vexaWatch.disconnect();
window.__vexaWatch = new MutationObserver(check);
window.__vexaWatch.observe(document.getElementById('signs'), {childList: true, subtree: true, characterData: true});
"""
# Answers with the time noted by WATCH_PAGE once there is one.
SHOWN_AT = """
const done = arguments[arguments.length - 1];
const poll = () => window.__vexaShown !== null ? done(window.__vexaShown) : setTimeout(poll, 1);
poll();
"""


def png_size(data):
    """Width and height from a PNG's header, or None when it is no PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


def start_browser(work):
    if not os.access(CHROMEDRIVER, os.X_OK):
        raise Failure(f"{CHROMEDRIVER} is missing: install chromium-driver")
    profile = os.path.join(work, "profile")
    os.mkdir(profile)
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + profile]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = Service(executable_path=CHROMEDRIVER,
                      service_args=["--log-path=" + os.path.join(work, "chromedriver.log")])
    driver = webdriver.Chrome(service=service, options=options)
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(15)
    return driver


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
    driver = None
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

        try:
            driver = start_browser(work)
            driver.get(url)
        except WebDriverException as e:
            raise Failure("Chromium through chromedriver: " + e.msg) from e

        def read():
            return driver.execute_script(READ_PAGE, ADDRESS)
        wait_for("the page to connect and show the sign",
                 lambda: (lambda p: p.get("live") == "live" and [s for s in p["signs"] if s["id"] == ADDRESS])(read()))

        # The applications run while the page is open.
        accepted = 0
        for example in ("tour", "quickstart"):
            run = subprocess.run([os.path.join(build, "examples", example), ADDRESS], capture_output=True,
                                 text=True, timeout=60)
            results = run.stdout.split()
            if run.returncode != 0 or not results or any(not r.endswith("=0") for r in results):
                raise Failure(f"examples/{example} did not get every command accepted:\n" + run.stdout + run.stderr)
            accepted += len(results)

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

        # Every accepted command went out as at least one frame; the log shows
        # each (up to the lines it keeps), and the examples send none that
        # fails its checks.
        want = min(accepted, LOG_LINES_KEPT)
        page = wait_for(f"{want} decoded frames in the page's log", lambda: (lambda p: p["frames"] >= want and p)(read()))
        if page["badFrames"]:
            raise Failure("frames marked bad in the log: " + repr(page["badFrames"]))
        print(f"frame log: {page['frames']} lines for {accepted} accepted commands")

        # The page as the applications left it.
        wait_for("the sign's picture", lambda: sign()["image"])
        shot_data = driver.get_screenshot_as_png()
        size = png_size(shot_data)
        if size is None:
            raise Failure("the screenshot is no PNG")
        viewport = driver.execute_script("return [window.innerWidth * devicePixelRatio, "
                                         "window.innerHeight * devicePixelRatio]")
        if list(size) != [round(v) for v in viewport]:
            raise Failure(f"the screenshot is {size[0]}x{size[1]}, the page's window {viewport}")
        with open(shot, "wb") as f:
            f.write(shot_data)
        print("screenshot", shot, f"{size[0]}x{size[1]}")

        # Frames by hand, pages 3 and 2 in turn: how long until the page shows each.
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sender.bind((ADDRESS, 0))
        sender.settimeout(15)
        times = []
        for k in range(LATENCY_SAMPLES):
            page = 3 if k % 2 == 0 else 2
            driver.execute_script(WATCH_PAGE, ADDRESS, str(page))
            start = time.time()
            sender.sendto(PLAY_PAGE[page], (ADDRESS, 8800))
            try:
                shown_at = driver.execute_async_script(SHOWN_AT)
            except WebDriverException as e:
                raise Failure(f"gave up waiting for page {page} on the page") from e
            times.append(shown_at - start * 1000)
            sender.recv(64)  # the controller's reply
        sender.close()
        times.sort()
        print(f"measured over {len(times)} frames: a played page reached the page's DOM after "
              f"{times[0]:.0f} ms at best, {times[len(times) // 2]:.0f} ms typically, {times[-1]:.0f} ms at worst")

        # The page's script ran without an error and every resource it asked
        # for loaded (the browser logs uncaught exceptions and failed loads as
        # SEVERE). The emulator serves no icon: the browser's own request for
        # /favicon.ico is no fault of the page.
        errors = [e["message"] for e in driver.get_log("browser")
                  if e.get("level") == "SEVERE" and not e["message"].startswith(url + "favicon.ico ")]
        if errors:
            raise Failure("the page logged errors: " + repr(errors))

        # The emulator stops cleanly while the page still listens to it.
        sim.send_signal(signal.SIGINT)
        code = sim.wait(timeout=10)
        if code != 0:
            raise Failure(f"vexa-sim ended with status {code} when interrupted")
        print("browser test: passed")
        return 0
    except Failure as e:
        print("browser test FAILED:", e)
        if driver:
            try:
                print("the page showed:", driver.execute_script(READ_PAGE, ADDRESS))
            except Exception:  # the page itself may be what failed
                pass
        sim_err.seek(0)
        print(sim_err.read())
        driver_log = os.path.join(work, "chromedriver.log")
        if os.path.exists(driver_log):
            print("chromedriver's log ends:", "".join(open(driver_log, errors="replace").readlines()[-20:]))
        return 1
    finally:
        if driver:
            try:
                driver.quit()  # ends Chromium and chromedriver
            except Exception:
                pass
        if sim.poll() is None:
            sim.kill()
            sim.wait()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    sys.exit(main())
