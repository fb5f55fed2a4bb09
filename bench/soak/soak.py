#!/usr/bin/env python3
"""Bounded soak of the command port on loopback.

Starts build/bin/tarvellin headless in a scratch folder, runs a mix of requests from many clients for a fixed
time, samples the agent's resident memory and open descriptors, and checks that every request was answered or
refused with the agent's own reply bytes and that the settings file stayed whole.

Usage: bench/soak/soak.py [--minutes 10] [--clients 50] [--binary build/bin/tarvellin]
"""
import argparse
import os
import random
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

NOT_FOUND = b"HTTP/1.1 404 Not Found"
PAGE_HEAD = "<html><body>データ更新受け付けました<BR><BR>".encode("cp932")

# (request bytes, expected: "page", "404", or "any" for requests that may be cut off by the client)
MIX = [
    (b"GET /renew HTTP/1.1\r\nHost: x\r\n\r\n", "page"),
    (b"GET /renew/ HTTP/1.1\r\n\r\n", "page"),
    (b"GET / HTTP/1.1\r\n\r\n", "404"),
    (b"GET /favicon.ico HTTP/1.1\r\n\r\n", "404"),
    (b"GET /Time=10 HTTP/1.1\r\n\r\n", "404"),
    (b"get /renew HTTP/1.1\r\n\r\n", "404"),
    (b"POST /renew HTTP/1.1\r\n\r\n", "404"),
    (b"GET /" + b"a" * 150 + b" HTTP/1.1\r\n\r\n", "404"),
    (b"\x00\xff\x10garbage", "404"),
    (b"GET /renew HTTP/1.1\r\n" + b"X: " + b"y" * 2000 + b"\r\n\r\n", "page"),
    (b"", "close"),  # connect and close at once
    (b"GET /renew", "vanish"),  # send and vanish before the reply
]


def exchange(port, payload, kind):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        if kind == "close":
            return "close", b""
        s.sendall(payload)
        if kind == "vanish":
            return "vanish", b""
        chunks = []
        while True:
            data = s.recv(4096)
            if not data:
                break
            chunks.append(data)
        return kind, b"".join(chunks)


def sample(pid):
    rss = 0
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    fds = len(os.listdir(f"/proc/{pid}/fd"))
    return rss, fds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--clients", type=int, default=50)
    parser.add_argument("--binary", default=os.path.join(os.path.dirname(__file__), "../../build/bin/tarvellin"))
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="tarvellin-soak-")
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    os.makedirs(os.path.join(work, "status"))
    with open(os.path.join(work, "tarvellin.ini"), "w") as f:
        f.write(f'[Setting]\nPath="{work}/status/"\nNetWork=1\nPort={port}\nAuto=1\nTime=1\n')
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    agent = subprocess.Popen([os.path.abspath(args.binary)], cwd=work, env=env, stderr=subprocess.PIPE)
    time.sleep(0.5)

    counts = {"page": 0, "404": 0, "close": 0, "vanish": 0}
    wrong = []
    errors = []
    lock = threading.Lock()
    end = time.monotonic() + args.minutes * 60

    def client(seed):
        rnd = random.Random(seed)
        while time.monotonic() < end:
            payload, kind = rnd.choice(MIX)
            try:
                kind, reply = exchange(port, payload, kind)
            except OSError as e:
                with lock:
                    errors.append(repr(e))
                continue
            ok = (kind in ("close", "vanish")
                  or (kind == "page" and reply.startswith(PAGE_HEAD) and reply.endswith(b"</body></html>"))
                  or (kind == "404" and reply == NOT_FOUND))
            with lock:
                counts[kind] += 1
                if not ok:
                    wrong.append((payload[:40], reply[:80]))

    threads = [threading.Thread(target=client, args=(i,)) for i in range(args.clients)]
    for t in threads:
        t.start()
    samples = []
    start = time.monotonic()
    while any(t.is_alive() for t in threads):
        samples.append((time.monotonic() - start, *sample(agent.pid)))
        time.sleep(min(10, args.minutes * 6))
    for t in threads:
        t.join()
    samples.append((time.monotonic() - start, *sample(agent.pid)))

    agent.send_signal(signal.SIGTERM)
    code = agent.wait(timeout=10)
    settings = open(os.path.join(work, "tarvellin.ini"), encoding="utf-8").read()
    status_files = os.listdir(os.path.join(work, "status"))
    shutil.rmtree(work)

    total = sum(counts.values())
    print(f"soak: {args.minutes} min, {args.clients} clients, {total} connections "
          f"({total / (args.minutes * 60):.0f}/s): {counts}")
    print("  t(s)   RSS(kB)  fds")
    for t, rss, fds in samples:
        print(f"  {t:6.0f} {rss:8d} {fds:4d}")
    rss_values = [s[1] for s in samples[1:]] or [samples[0][1]]
    fd_values = [s[2] for s in samples]
    print(f"RSS first/last/max: {samples[0][1]}/{samples[-1][1]}/{max(rss_values)} kB; "
          f"fds first/last/max: {fd_values[0]}/{fd_values[-1]}/{max(fd_values)}")
    print(f"wrong replies: {len(wrong)}; client errors: {len(errors)}; exit code {code}; "
          f"status files {status_files}; settings whole: {'Filename10=' in settings}")
    for item in wrong[:5]:
        print("  wrong:", item)
    for item in errors[:5]:
        print("  error:", item)
    failed = wrong or errors or code != 0 or len(status_files) != 1 or "Filename10=" not in settings
    raise SystemExit(1 if failed else 0)


if __name__ == "__main__":
    main()
