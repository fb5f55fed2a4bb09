#!/usr/bin/python3
"""The Windows program under Wine, from Linux clients: the exact reply bytes of its command port, a silent
connection that does not hold up a request, the status file, the agent running on without a notification
area, and the exit command ending it with status 0 and nothing saved. The settings file is code page 932 with
quoted values, as a Windows user keeps it: the password is compared in code page 932, and the save leaves the
file in code page 932.

    program_test.py <wine> <tarvellin.exe> <tarvellin_wine_window.exe> <run folder>

The Wine environment (WINEPREFIX, the locale with code page 932, ...) comes from the caller;
TARVELLIN_WINE_VOLUMES ("M=<total bytes>:<free bytes>;...") names the size of drive M when it is known.
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import time

NOT_FOUND = b"HTTP/1.1 404 Not Found"
START_TIMEOUT = 30.0


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def connectable(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.5):
            return True
    except OSError:
        return False


def ask(port, request, timeout=10.0):
    """Sends the request and returns everything received until the agent closes the connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as client:
        client.sendall(request)
        received = b""
        while True:
            chunk = client.recv(4096)
            if not chunk:
                return received
            received += chunk


def drive_m():
    """Used, total and free MB of drive M, or None when its size is not known."""
    for entry in os.environ.get("TARVELLIN_WINE_VOLUMES", "").split(";"):
        letter, _, sizes = entry.partition("=")
        if letter == "M" and ":" in sizes:
            total, free = (int(value) >> 20 for value in sizes.split(":"))
            return total - free, total, free
    return None


class Failures:
    def __init__(self):
        self.count = 0

    def check(self, condition, what, detail=""):
        print(("ok   " if condition else "FAIL ") + what + ("" if condition or not detail else ": " + detail))
        if not condition:
            self.count += 1
        return condition


def main():
    wine, exe, probe, run = sys.argv[1:5]
    shutil.rmtree(run, ignore_errors=True)
    os.makedirs(run)
    port = free_port()
    m = drive_m()
    # Half-width katakana, whose code page 932 bytes also form valid UTF-8; the run folder's path is ASCII.
    folder = os.path.join(run, "ﾏｲ")
    os.makedirs(folder)
    path_line = f'Path="Z:{folder}/"'.replace("/", "\\").encode("cp932")
    password = "ぱす".encode("cp932")
    directory = 'Directory="M"\r\n' if m else ""
    with open(os.path.join(run, "tarvellin.ini"), "wb") as ini:
        settings = f'[Setting]\r\n{directory}NetWork="1"\r\nPort={port}\r\nPass="ぱす"\r\n'.encode("cp932")
        ini.write(settings + path_line + b"\r\n[Http]\r\nMetrics=1\r\n")

    failures = Failures()
    started = time.monotonic()
    agent = subprocess.Popen([wine, exe], cwd=run, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
    try:
        while not connectable(port) and agent.poll() is None and time.monotonic() - started < START_TIMEOUT:
            time.sleep(0.1)
        if not failures.check(connectable(port), f"the agent listens on port {port}"):
            return 1

        failures.check(ask(port, b"GET /nothing HTTP/1.1\r\n\r\n") == NOT_FOUND,
                       "an unknown command gets the bare 404 line")

        # A request longer than one read, with more behind its first line, gets exactly its reply.
        long_request = b"GET /nothing HTTP/1.1\r\n" + b"X-Filler: " + b"x" * 6000 + b"\r\n\r\n"
        failures.check(ask(port, long_request) == NOT_FOUND, "a long request gets exactly its reply")

        # A connection that sends nothing must not hold up the next client's request.
        with socket.create_connection(("127.0.0.1", port)):
            before = time.monotonic()
            reply = ask(port, b"GET /nothing HTTP/1.1\r\n\r\n", timeout=5.0)
            failures.check(reply == NOT_FOUND and time.monotonic() - before < 2.0,
                           "a silent connection does not hold up a request", repr(reply))

        failures.check(ask(port, "GET /renew/ぱす HTTP/1.1\r\n\r\n".encode("utf-8")) == NOT_FOUND,
                       "the password in UTF-8 is refused")
        page = ask(port, b"GET /renew/" + password + b" HTTP/1.1\r\n\r\n")
        if m:
            used, total, free = m
            expected = (f"<html><body>データ更新受け付けました<BR><BR>使用量{used} MByte<BR>全容量{total} MByte<BR>"
                        f"空容量{free} MByte<BR>Mドライブ空容量{free * 100 // total:2d}%<BR></body></html>")
            failures.check(page == expected.encode("cp932"), "GET /renew gets the status page in code page 932",
                           repr(page))
            status = f"空容量{free} MByte"
        else:
            text = page.decode("cp932", errors="replace")
            failures.check(re.fullmatch(r"<html><body>データ更新受け付けました<BR><BR>使用量\d+ MByte<BR>全容量\d+ MByte"
                                        r"<BR>(空容量\d+ MByte)<BR>.ドライブ空容量[ \d]\d+%<BR></body></html>", text)
                           is not None, "GET /renew gets the status page in code page 932", repr(page))
            match = re.search(r"<BR>(空容量\d+ MByte)<BR>", text)
            status = match.group(1) if match else "?"
        failures.check(os.path.exists(os.path.join(folder, status)), f"the status file '{status}' appears",
                       repr(os.listdir(folder)))

        scrape = ask(port, b"GET /metrics/" + password + b" HTTP/1.1\r\n\r\n")
        free_line = (rb'\ntarvellin_drive_free_bytes\{letter="M",path="[^"]*",role="main"\} %d\n' % (m[2] * 1048576)
                     if m else rb'\ntarvellin_drive_free_bytes\{letter="[A-Z]",path="[^"]*",role="main"\} \d+\n')
        failures.check(scrape.startswith(b"HTTP/1.1 200 OK\r\n") and re.search(free_line, scrape) is not None,
                       "GET /metrics gets the main drive's free bytes", repr(scrape[:400]))

        with open(os.path.join(run, "tarvellin.ini"), "rb") as ini:
            saved = ini.read()
        failures.check(b"\r\nNetWork=1\r\n" in saved and f"Port={port}".encode() in saved,
                       "the refresh saved the settings")
        failures.check(saved.startswith(b"[Setting]\r\n") and b"\r\n" + path_line + b"\r\n" in saved and
                       b"\r\nPass=" + password + b"\r\n" in saved, "the save keeps code page 932", repr(saved))

        # Past the first retry of the icon: without a notification area the agent runs on.
        time.sleep(max(0.0, 2.5 - (time.monotonic() - started)))
        failures.check(agent.poll() is None and connectable(port), "the agent runs on without a notification area")

        sent = subprocess.run([wine, probe, "ﾀﾞｲｱﾛｸﾞ", "post", "273", "32771"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30).returncode
        failures.check(sent == 0, "the exit command reaches the hidden window")
        try:
            code = agent.wait(timeout=15)
        except subprocess.TimeoutExpired:
            code = None
        failures.check(code == 0, "the exit command ends the program with status 0", repr(code))
        with open(os.path.join(run, "tarvellin.ini"), "rb") as ini:
            failures.check(ini.read() == saved, "nothing is saved on exit")
    finally:
        if agent.poll() is None:
            agent.kill()
            agent.wait()
    print(f"program under Wine: {failures.count} failure(s), {time.monotonic() - started:.1f} s")
    return 1 if failures.count else 0


if __name__ == "__main__":
    sys.exit(main())
