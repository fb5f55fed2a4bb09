"""Idle CPU and memory of the Windows program under Wine, then the GET /renew round trip of it and of the Linux
agent, one after the other, each in a folder of its own with the same settings.

    measure.py <seconds> <work folder> <wine> <tarvellin.exe> <linux tarvellin> <tarvellin_wine_window.exe>

The floor beside it: a Win32 program with one hidden window and a message loop, which under Wine costs the
same loaded system DLLs.
"""
import os
import socket
import statistics
import subprocess
import sys
import time

ROUND_TRIPS = 200


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start(command, folder, port, env=None):
    os.makedirs(folder)
    with open(os.path.join(folder, "tarvellin.ini"), "wb") as ini:
        ini.write(b"[Setting]\r\nNetWork=1\r\nPort=%d\r\n" % port)
    process = subprocess.Popen(command, cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return process
        except OSError:
            time.sleep(0.1)
    process.kill()
    sys.exit(f"{command[-1]} never listened on port {port}")


def processes_named(name):
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/comm") as comm:
                if comm.read().strip() == name[:15]:  # the kernel keeps 15 characters of the name
                    found.append(int(pid))
        except OSError:
            pass
    return found


def cpu_seconds(pid):
    """On-CPU time of all its threads, from the scheduler's own accounting (nanoseconds)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/schedstat") as schedstat:
            total += int(schedstat.read().split()[0])
    return total / 1e9


def memory_mb(pid):
    """Resident memory: all of it, and the part that is the process's own (not pages of shared files)."""
    values = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "RssAnon"):
                values[key] = int(rest.split()[0]) / 1024
    return values.get("VmRSS", 0.0), values.get("RssAnon", 0.0)


def idle(seconds):
    names = ("tarvellin.exe", "tarvellin_wine_window.exe", "wineserver64", "explorer.exe")
    pids = {name: processes_named(name) for name in names}
    if not pids["tarvellin.exe"]:
        sys.exit("no tarvellin.exe process found")
    before = {name: sum(cpu_seconds(p) for p in found) for name, found in pids.items()}
    time.sleep(seconds)
    for name, found in pids.items():
        used = sum(cpu_seconds(p) for p in found) - before[name]
        resident = sum(memory_mb(p)[0] for p in found)
        own = sum(memory_mb(p)[1] for p in found)
        goal = {"tarvellin.exe": " (goals: under 0.1 % and 15 MB)",
                "tarvellin_wine_window.exe": " (the floor: one hidden window)"}.get(name, "")
        print(f"idle {seconds} s, {name}: CPU {100 * used / seconds:.4f} % of one core, "
              f"resident {resident:.1f} MB, of which its own (anonymous) {own:.1f} MB{goal}")


def round_trips(port):
    times = []
    for _ in range(ROUND_TRIPS):
        begin = time.perf_counter()
        with socket.create_connection(("127.0.0.1", port)) as client:
            client.sendall(b"GET /renew HTTP/1.0\r\n\r\n")
            while client.recv(4096):
                pass
        times.append(time.perf_counter() - begin)
    times.sort()
    return statistics.median(times) * 1000, times[int(len(times) * 0.9)] * 1000


def main():
    seconds, work, wine, exe, linux, floor = int(sys.argv[1]), *sys.argv[2:7]
    port = free_port()
    program = start([wine, exe], os.path.join(work, "wine"), port)
    empty = subprocess.Popen([wine, floor, "-", "idle"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    time.sleep(3)  # start-up settles: first refresh, tray retries begin
    idle(seconds)
    empty.kill()
    empty.wait()
    wine_median, wine_p90 = round_trips(port)
    program.terminate()
    program.wait()
    port = free_port()
    headless = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
    agent = start([linux], os.path.join(work, "linux"), port, headless)
    linux_median, linux_p90 = round_trips(port)
    agent.terminate()
    agent.wait()
    print(f"GET /renew round trip, {ROUND_TRIPS} requests one after another (each refreshes, renames the status "
          f"file and saves the settings):")
    print(f"  under Wine: median {wine_median:.2f} ms, p90 {wine_p90:.2f} ms")
    print(f"  Linux:      median {linux_median:.2f} ms, p90 {linux_p90:.2f} ms")
    print(f"  ratio Wine / Linux (median): {wine_median / linux_median:.2f}")


main()
