#!/usr/bin/python3
"""The installer and the service under Wine: the manifest in the program; the MSI installed per user with
AUTOSTART=1 (the program, the Start-menu shortcut's target and arguments, the Run value); the program started as
the shortcut starts it, making its settings folder and answering on its port; the installed program as a service
with its settings in %ProgramData%\\tarvellin (started, the page on its port, stopped within a second, removed);
and the MSI removed again, the settings kept.

    install_test.py <wine> <tarvellin.exe> <msi> <tarvellin_wine_window.exe> <tarvellin_wine_system.exe> <run folder>

The Wine environment (WINEPREFIX, the locale with code page 932, ...) comes from the caller.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from program_test import Failures, ask, connectable, free_port

START_TIMEOUT = 30.0
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PAGE = "<html><body>データ更新受け付けました".encode("cp932")
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def unix_path(prefix, path):
    """The Unix path of a C: path in the prefix (Wine keeps the case of the names it makes)."""
    return os.path.join(prefix, "drive_c", *path[3:].split("\\"))


def run(wine, *arguments, timeout=120):
    # Into a file, not a pipe: a process that Wine starts on the way (a service) would hold a pipe open.
    with tempfile.TemporaryFile() as out:
        code = subprocess.run([wine, *arguments], stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                              timeout=timeout).returncode
        out.seek(0)
        return code, out.read().decode("utf-8", errors="replace")


def wait_until(condition, process=None):
    started = time.monotonic()
    while not condition() and (process is None or process.poll() is None) and \
            time.monotonic() - started < START_TIMEOUT:
        time.sleep(0.1)
    return condition()


def installed_products(wine):
    """The keys of the products named tarvellin that are installed for the user."""
    _, out = run(wine, "reg", "query", r"HKCU\Software\Microsoft\Installer\Products", "/s")
    blocks = re.split(r"^HKEY_CURRENT_USER\\Software\\Microsoft\\Installer\\Products\\", out, flags=re.M)
    return [block.split()[0] for block in blocks[1:]
            if re.match(r"\w+\s", block) and re.search(r"ProductName\s+REG_SZ\s+tarvellin\s", block)]


def read(path):
    try:
        with open(path, "rb") as file:
            return file.read()
    except OSError:
        return b""


class Agent:
    """The tray program for the time of a with block, ended by its exit command."""

    def __init__(self, wine, window_probe, command):
        self.wine, self.window_probe = wine, window_probe
        self.process = subprocess.Popen([wine, *command], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        run(self.wine, self.window_probe, "ﾀﾞｲｱﾛｸﾞ", "post", "273", "32771", timeout=30)
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def run_value(wine):
    code, out = run(wine, "reg", "query", RUN_KEY, "/v", "tarvellin")
    match = re.search(r"tarvellin\s+REG_SZ\s+(.*)", out)
    return match.group(1).strip() if code == 0 and match else None


def main():
    wine, exe, msi, window_probe, probe, run_folder = sys.argv[1:7]
    prefix = os.environ["WINEPREFIX"]
    shutil.rmtree(run_folder, ignore_errors=True)
    os.makedirs(run_folder)
    failures = Failures()

    code, manifest = run(wine, probe, "manifest", windows_path(exe))
    failures.check(code == 0 and "<dpiAwareness" in manifest and "PerMonitorV2" in manifest and
                   'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in manifest,
                   "the program carries its manifest: per-monitor DPI awareness V2, common controls 6",
                   manifest[:300])

    blocker = os.path.join(run_folder, "a-file")
    open(blocker, "w").close()
    code, out = run(wine, exe, "--folder", windows_path(blocker) + "\\sub")
    failures.check(code == 2 and "tarvellin: cannot make the folder 'Z:" in out,
                   "a --folder that cannot be made ends the program with status 2 and one line", f"{code} {out}")

    # An older version, installed without AUTOSTART, is replaced by this one (a run before may have left one).
    older = subprocess.run([os.path.join(ROOT, "packaging/windows/build-msi"), exe, run_folder, "0.9"],
                           capture_output=True, check=True).stdout.decode().strip()
    for package in (msi, older):
        run(wine, "msiexec", "/x", windows_path(package), "/qn")
    code, _ = run(wine, "msiexec", "/i", windows_path(older), "/qn")
    failures.check(code == 0 and run_value(wine) is None, "without AUTOSTART=1 there is no Run value",
                   f"status {code}")
    before = installed_products(wine)
    code, _ = run(wine, "msiexec", "/i", windows_path(msi), "/qn", "AUTOSTART=1")
    if not failures.check(code == 0, "msiexec /i installs the MSI per user", f"status {code}"):
        return 1
    after = installed_products(wine)
    failures.check(len(before) == 1 and len(after) == 1 and before != after, "the upgrade replaced the older version",
                   f"{before} then {after}")
    programs = glob.glob(os.path.join(prefix, "drive_c/users/*/AppData/Local/Programs/tarvellin/tarvellin.exe"))
    failures.check(len(programs) == 1 and os.path.getsize(programs[0]) == os.path.getsize(exe),
                   "tarvellin.exe is in %LOCALAPPDATA%\\Programs\\tarvellin", repr(programs))
    links = glob.glob(os.path.join(prefix, "drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/"
                                           "tarvellin.lnk"))
    if not failures.check(len(links) == 1, "the Start menu has the shortcut", repr(links)):
        return 1
    user = links[0].split("/drive_c/users/")[1].split("/")[0]
    installed = f"C:\\users\\{user}\\AppData\\Local\\Programs\\tarvellin\\tarvellin.exe"
    settings = f"C:\\users\\{user}\\AppData\\Roaming\\tarvellin"
    code, link = run(wine, probe, "link", windows_path(links[0]))
    target, arguments = (link.splitlines() + ["", ""])[:2]
    failures.check(target.lower() == installed.lower() and arguments == f'--folder "{settings}"',
                   "the shortcut runs the program with --folder \"%APPDATA%\\tarvellin\"", repr(link))
    failures.check(run_value(wine) == f'"{installed}" --folder "{settings}"',
                   "AUTOSTART=1 starts the same at sign-in (the Run value)", repr(run_value(wine)))

    # As the shortcut starts it: the folder is made; with a port in its settings, the first refresh saves
    # tarvellin.ini there.
    settings_folder = unix_path(prefix, settings)
    shutil.rmtree(settings_folder, ignore_errors=True)
    with Agent(wine, window_probe, [installed, "--folder", settings]) as agent:
        made = wait_until(lambda: os.path.isdir(settings_folder), agent.process)
    failures.check(made, "the program makes its folder %APPDATA%\\tarvellin")
    port = free_port()
    if made:
        with open(os.path.join(settings_folder, "tarvellin.ini"), "wb") as ini:
            ini.write(f"[Setting]\r\nNetWork=1\r\nPort={port}\r\n".encode("cp932"))
    with Agent(wine, window_probe, [installed, "--folder", settings]) as agent:
        failures.check(wait_until(lambda: connectable(port), agent.process), f"the program answers on port {port}")
        page = ask(port, b"GET /renew HTTP/1.1\r\n\r\n") if connectable(port) else b""
        failures.check(page.startswith(PAGE), "GET /renew gets the page", repr(page))
    saved = read(os.path.join(settings_folder, "tarvellin.ini"))
    failures.check(b"\r\nNokori=" in saved, "the refresh saves tarvellin.ini in %APPDATA%\\tarvellin", repr(saved))

    # The installed program as a service, its settings in %ProgramData%\tarvellin.
    port = free_port()
    service_folder = os.path.join(prefix, "drive_c/ProgramData/tarvellin")
    shutil.rmtree(service_folder, ignore_errors=True)
    os.makedirs(service_folder)
    with open(os.path.join(service_folder, "tarvellin.ini"), "wb") as ini:
        ini.write(f"[Setting]\r\nNetWork=1\r\nPort={port}\r\n[Http]\r\nMetrics=1\r\n".encode("cp932"))
    run(wine, installed, "--service", "uninstall")
    code, _ = run(wine, installed, "--service", "install")
    failures.check(code == 0, "--service install installs the service", f"status {code}")
    code, out = run(wine, probe, "service", "tarvellin", "start", timeout=60)
    if failures.check(code == 0 and "state 4" in out, "the service manager starts it (SERVICE_RUNNING)", out):
        failures.check(wait_until(lambda: connectable(port)), f"the service answers on port {port}")
        page = ask(port, b"GET /renew HTTP/1.1\r\n\r\n") if connectable(port) else b""
        failures.check(page.startswith(PAGE), "GET /renew gets the page from the service", repr(page))
        scrape = ask(port, b"GET /metrics HTTP/1.1\r\n\r\n") if connectable(port) else b""
        failures.check(b"\ntarvellin_drive_free_bytes{" in scrape, "GET /metrics answers from the service",
                       repr(scrape[:200]))
        code, out = run(wine, probe, "service", "tarvellin", "stop", timeout=60)
        match = re.search(r"state 1 after (\d+) ms", out)
        took = f" ({match.group(1)} ms)" if match else ""
        failures.check(code == 0 and match is not None and int(match.group(1)) < 1000 and "state 3" in out,
                       "a stop passes SERVICE_STOP_PENDING and ends within a second" + took, out)
        failures.check(not connectable(port), "the stopped service no longer listens")
    failures.check(b"\r\nNokori=" in read(os.path.join(service_folder, "tarvellin.ini")),
                   "the service saved its settings in %ProgramData%\\tarvellin")
    code, _ = run(wine, installed, "--service", "uninstall")
    _, out = run(wine, probe, "service", "tarvellin", "start")
    failures.check(code == 0 and "error 1060" in out, "--service uninstall removes the service", out)

    code, _ = run(wine, "msiexec", "/x", windows_path(msi), "/qn")
    left = [path for path in (programs[0], links[0]) if os.path.exists(path)]
    failures.check(code == 0 and not left and run_value(wine) is None,
                   "msiexec /x removes the program, the shortcut and the Run value", f"status {code}, left {left}")
    failures.check(os.path.isfile(os.path.join(settings_folder, "tarvellin.ini")),
                   "the settings stay after msiexec /x")
    print(f"installer and service under Wine: {failures.count} failure(s)")
    return 1 if failures.count else 0


if __name__ == "__main__":
    sys.exit(main())
