#!/usr/bin/env python3
"""Latency of the agent's /metrics for the main drive and nine others, beside node_exporter's filesystem
collector on the same machine in the same run, and the agent's memory.

Usage: bench/metrics/run.py [build folder] [requests]      (defaults: <source>/build, 200)
Each request opens a connection, sends GET /metrics with Connection: close and reads to the close; the two
servers are asked in turn, so both see the same machine. Ten drives are tmpfs mounts when run as root,
plain folders otherwise. Goals: the agent's median and p90 at most half of node_exporter's; the agent
under 15 MB resident.
"""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build")
REQUESTS = int(sys.argv[2]) if len(sys.argv) > 2 else 200
LETTERS = "CDEFGHIJKL"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def scrape(port):
    """Seconds for one whole exchange, and the body."""
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        chunks = []
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            chunks.append(chunk)
    elapsed = time.perf_counter() - start
    reply = b"".join(chunks)
    return elapsed, reply.split(b"\r\n\r\n", 1)[-1]


def wait_for(port, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        try:
            _, body = scrape(port)
            if body:
                return
        except OSError:
            pass
        time.sleep(0.05)
    raise SystemExit(f"nothing answers on port {port}")


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


def main():
    program = os.path.join(BUILD, "bin", "tarvellin")
    exporter = shutil.which("prometheus-node-exporter") or shutil.which("node_exporter")
    if not os.access(program, os.X_OK):
        raise SystemExit(f"{program} not built (cmake --build {BUILD} --target tarvellin)")
    if exporter is None:
        raise SystemExit("node_exporter not found: install Debian's prometheus-node-exporter")

    work = tempfile.mkdtemp(prefix="tarvellin-metrics-bench-")
    mounted = []
    processes = []
    try:
        table = []
        for index, letter in enumerate(LETTERS):
            folder = os.path.join(work, "drive" + letter)
            os.makedirs(folder)
            if os.geteuid() == 0 and subprocess.call(
                    ["mount", "-t", "tmpfs", "-o", f"size={index + 1}m", "tmpfs", folder]) == 0:
                mounted.append(folder)
            table.append(f'{letter}="{folder}"')
        agent_port, exporter_port = free_port(), free_port()
        with open(os.path.join(work, "tarvellin.ini"), "w") as ini:
            ini.write(f"[Setting]\nDirectory=C\nPort={agent_port}\nOtherDrive=1\nDirectory2={LETTERS[1:]}\n"
                      f"Path=\"{work}/\"\n[Http]\nMetrics=1\nAddress=127.0.0.1\n[Drives]\n" + "\n".join(table) + "\n")
        environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        agent = subprocess.Popen([program], cwd=work, env=environment, stdout=subprocess.DEVNULL,
                                 stderr=open(os.path.join(work, "agent.log"), "w"))
        processes.append(agent)
        node = subprocess.Popen([exporter, "--collector.disable-defaults", "--collector.filesystem",
                                 f"--web.listen-address=127.0.0.1:{exporter_port}"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(node)
        wait_for(agent_port)
        wait_for(exporter_port)

        _, ours = scrape(agent_port)
        _, theirs = scrape(exporter_port)
        our_drives = ours.count(b"\ntarvellin_drive_up{")
        their_filesystems = theirs.count(b"\nnode_filesystem_avail_bytes{")
        for _ in range(20):  # warm-up
            scrape(agent_port)
            scrape(exporter_port)
        agent_times, exporter_times = [], []
        for _ in range(REQUESTS):
            agent_times.append(scrape(agent_port)[0])
            exporter_times.append(scrape(exporter_port)[0])

        def row(name, times, size, count, what):
            print(f"{name:<15} median {statistics.median(times) * 1000:7.3f} ms   p90 "
                  f"{percentile(times, 0.9) * 1000:7.3f} ms   body {size:6d} bytes, {count} {what}")

        print(f"{REQUESTS} requests each, in turn, new connection per request; drives on "
              f"{'tmpfs' if mounted else 'plain folders'}")
        row("tarvellin", agent_times, len(ours), our_drives, "drives")
        row("node_exporter", exporter_times, len(theirs), their_filesystems, "filesystems")
        median_ratio = statistics.median(agent_times) / statistics.median(exporter_times)
        p90_ratio = percentile(agent_times, 0.9) / percentile(exporter_times, 0.9)
        print(f"ratio tarvellin / node_exporter: median {median_ratio:.2f}, p90 {p90_ratio:.2f} (goal <= 0.50): "
              f"{'met' if max(median_ratio, p90_ratio) <= 0.5 else 'NOT met'}")
        agent_rss = rss_kb(agent.pid)
        print(f"RSS after the scrapes: tarvellin {agent_rss / 1024:.1f} MB (goal < 15 MB: "
              f"{'met' if agent_rss < 15 * 1024 else 'NOT met'}), node_exporter {rss_kb(node.pid) / 1024:.1f} MB")
    finally:
        for process in processes:
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
        for folder in mounted:
            subprocess.call(["umount", "-l", folder])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
