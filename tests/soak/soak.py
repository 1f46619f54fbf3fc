#!/usr/bin/env python3
"""The whole system under load for a while, in one Wine session:
    cmake/wine-session.sh tests/soak/soak.py [SECONDS]     (make soak)

The service host, installed in C:\\Storage\\bin, starts the management-server
stand-in; NotiTrayServer.exe starts the tray notifier (its recording build,
which calls the real shell and also writes what it showed); snmp_service.exe
hosts KalvSnmp.dll beside the storage library simulator and sends the
agent's traps to snmptrapd. Meanwhile several net-snmp clients walk and
bulk-walk the private MIB without pause, every controller raises events at
a steady rate, the inventory changes, and post_notice.exe posts a stream of
notices. At the end it reports requests answered with their latencies,
traps against events, notices shown against notices posted, and the handle
count and private memory of every program at the start and at the end.

Exit code 1 when anything was lost or doubled, a program ended early or
crashed, or a handle or memory figure grew beyond its tolerance.
"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BIN = os.path.join(REPO, "build", "win64", "bin")
WINE = os.environ["ARVEXA_WINE_LOADER"]
DRIVE_C = os.path.join(os.environ["WINEPREFIX"], "drive_c")
INSTALL_DIR = os.path.join(DRIVE_C, "Storage", "bin")
SYSTEM_DIR = os.path.join(DRIVE_C, "windows", "system32")
RECORD = os.path.join(SYSTEM_DIR, "NotiTrayClient.exe.calls")
PRIVATE = ".1.3.6.1.4.1.32473"
TRAP_ENTERPRISE = ".1.3.6.1.4.1.32473.1.1.1.13"
PROGRAMS = ["ArvexaService.exe", "Arvexa.exe", "NotiTrayServer.exe", "NotiTrayClient.exe",
            "snmp_service.exe"]

# Growth allowed between the figures at the start and at the end: a few
# handles for work in flight (a pipe instance, a thread), and a band of
# private memory that heap growth of a leak per request or event would pass
# within the first minutes.
HANDLE_TOLERANCE = 8
MEMORY_TOLERANCE = 1024 * 1024

EVENT_PERIOD_MS = 3000       # per controller
INVENTORY_PERIOD_S = 15
NOTICE_PERIOD_S = 3.5        # the tray notifier shows one notice per 2.5 s
# Event codes with the specific-trap numbers the agent gives them; the last
# is a code the agent does not list.
EVENT_CODES = [(0x00030000, 27), (0x00080007, 45), (0x000D0001, 3), (0x00090000, 16),
               (0x001C000A, 94), (0x00030005, 83)]
SEVERITY_FLAGS = {1: 17, 2: 2, 3: 3}
WALKERS = [
    ("snmpwalk", ["-v2c"]),
    ("snmpwalk", ["-v2c"]),
    ("snmpwalk", ["-v1"]),
    ("snmpbulkwalk", ["-v2c", "-Cr10"]),
    ("snmpbulkwalk", ["-v2c", "-Cr40"]),
]

problems = []
lock = threading.Lock()


def problem(text):
    with lock:
        problems.append(text)
    print("  PROBLEM: " + text, flush=True)


def say(text):
    print(text, flush=True)


def wine_run(args, timeout=60):
    result = subprocess.run([WINE] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=timeout)
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r", "")


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_until(condition, seconds, step=0.1):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


# ---- process figures -------------------------------------------------------

def figures():
    """{name: [(pid, handles, private bytes)]} of the system's programs."""
    _, output = wine_run([os.path.join(BIN, "soak_probe.exe")] + PROGRAMS + ["winedbg.exe"])
    table = {}
    for line in output.splitlines():
        parts = line.split()
        if len(parts) != 4:
            continue
        table.setdefault(parts[0], [])
        if parts[1] != "-":
            table[parts[0]].append((int(parts[1]), parts[2], parts[3]))
    return table


# ---- the storage machine ---------------------------------------------------

def default_machine():
    """The simulator's embedded default machine, read from its source."""
    with open(os.path.join(REPO, "standins", "kalvbridge", "default_scenario.cpp")) as source:
        text = source.read()
    body = text[text.index('R"json(') + 7:text.index(')json"')]
    body = re.sub(r"//[^\n]*", "", body)
    return json.loads(body)


class Machine:
    """Owns the scenario file: appends the events of the whole load, each
    with its due time, and changes the inventory, writing the file whole
    each time. The events go in at once, when the load begins: the simulator
    inside snmp_service keeps the whole scenario, so a file that kept growing
    would make that process grow with it (by about 0.8 KiB per event)."""

    def __init__(self, path):
        self.path = path
        self.scenario = default_machine()
        self.controllers = self.scenario["controllers"]
        for controller in self.controllers:
            controller["events"] = []
        self.raised = {}          # description -> (controller, specific)
        # Offsets of each controller's first event; drive_machine adds the
        # time the load begins.
        self.next_due = [EVENT_PERIOD_MS // len(self.controllers) * i
                         for i in range(len(self.controllers))]
        self.serial = 0
        self.changes = 0
        self.rebuild = self.rebuilding_array()
        self.write()

    def rebuilding_array(self):
        for controller in self.controllers:
            for array in controller.get("logicalDrives", []):
                if "rebuild" in array.get("progress", {}):
                    return array
        raise RuntimeError("the default machine has no rebuilding array")

    def write(self):
        temporary = self.path + ".new"
        with open(temporary, "w") as scenario:
            json.dump(self.scenario, scenario)
        os.replace(temporary, self.path)

    def schedule_events(self, last_due_ms):
        for index, controller in enumerate(self.controllers):
            while self.next_due[index] <= last_due_ms:
                code, specific = EVENT_CODES[self.serial % len(EVENT_CODES)]
                description = "soak event c%d n%d" % (index, self.serial)
                controller["events"].append({"code": "0x%08X" % code, "description": description,
                                             "dueMs": self.next_due[index]})
                self.raised[description] = (index, specific, self.next_due[index])
                self.serial += 1
                self.next_due[index] += EVENT_PERIOD_MS

    def change_inventory(self):
        self.changes += 1
        progress = self.rebuild["progress"]["rebuild"]
        progress["percent"] = 1 + (progress["percent"] % 99)
        battery = self.controllers[0]["battery"]
        battery["temperature"] = 2980 + (self.changes * 7) % 90
        sensor = self.controllers[0]["enclosures"][0]["sensors"][0]
        sensor["value"] = 30 + self.changes % 15

    def rebuild_row(self):
        """The logical drive table's row of the rebuilding array."""
        arrays = [a for c in self.controllers for a in c.get("logicalDrives", [])]
        return 1 + next(i for i, a in enumerate(arrays) if a is self.rebuild)


def drive_machine(machine, start, load_end, stop):
    first_due_ms = int((time.monotonic() - start) * 1000) + 1000
    machine.next_due = [due + first_due_ms for due in machine.next_due]
    last_due_ms = int((load_end - start) * 1000) - 4000
    machine.schedule_events(last_due_ms)
    machine.write()
    next_change = time.monotonic() + INVENTORY_PERIOD_S
    while not stop.wait(1.0):
        now = time.monotonic()
        # The last change comes well before the last event, whose drain
        # refreshes the inventory once more.
        if now >= next_change and now < load_end - 12:
            machine.change_inventory()
            next_change += INVENTORY_PERIOD_S
            machine.write()


# ---- SNMP clients ----------------------------------------------------------

class WalkStats:
    def __init__(self):
        self.latencies = []
        self.sent = 0
        self.answered = 0
        self.walks = 0
        self.bad_walks = 0


# Every request answered by any client, to set against the service's count.
all_answered = [0]


def walk_once(tool, options, target, stats, reference, named=False):
    """One walk with its requests timed from the tool's packet dump: the
    "Sending" line comes just before a request leaves, "Received" just after
    its answer arrived."""
    env = dict(os.environ, MIBS="")
    names = ["-On"]
    if named:
        env.update(MIBS="VANTREL-ARVEXA-MIB",
                   MIBDIRS=os.path.join(REPO, "tests", "snmp_service", "base-mibs") + ":"
                   + os.path.join(REPO, "mibs"))
        names = ["-Os"]
    command = [tool, "-d", "-t", "5", "-r", "0", "-c", "public"] + names + options + [target, PRIVATE]
    with tempfile.TemporaryFile() as output:
        process = subprocess.Popen(command, stdout=output, stderr=subprocess.PIPE, env=env)
        sent_at = None
        latencies = []
        sent = answered = 0
        for line in process.stderr:
            now = time.monotonic()
            if line.startswith(b"Sending "):
                sent += 1
                sent_at = now
            elif line.startswith(b"Received ") and sent_at is not None:
                answered += 1
                latencies.append(now - sent_at)
                sent_at = None
        status = process.wait()
        output.seek(0)
        text = output.read().decode("utf-8", "replace")
    names = [line.split(" = ", 1)[0] for line in text.splitlines()
             if " = " in line and " = " in line and "No more variables" not in line]
    ended = "End of MIB" in text or "No more variables left" in text
    with lock:
        stats.sent += sent
        stats.answered += answered
        stats.latencies.extend(latencies)
        all_answered[0] += answered
        stats.walks += 1
        good = status == 0 and ended and (reference is None or names == reference)
        if not good:
            stats.bad_walks += 1
    if not good:
        problem("%s %s: exit %d, %d of %d requests answered, %d names%s"
                % (tool, " ".join(options), status, answered, sent, len(names),
                   "" if ended else ", no end of the view"))
    return names, text


def keep_walking(tool, options, target, stats, reference, load_end):
    while time.monotonic() < load_end:
        walk_once(tool, options, target, stats, reference)


# ---- notices ---------------------------------------------------------------

def shown_notices():
    """(message, info flags, shell result) of every balloon the tray notifier
    showed."""
    shown = []
    try:
        with open(RECORD, encoding="utf-8", errors="replace") as record:
            for line in record:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 15 and fields[2] == "shell" and fields[3] in ("ADD", "MODIFY"):
                    shown.append((fields[13], int(fields[9]), fields[14]))
    except FileNotFoundError:
        pass
    return shown


def post_notice(text):
    status, _ = wine_run([os.path.join(BIN, "post_notice.exe"), text])
    return status == 0


def connect_notice_path():
    """The notifier server connects a moment after it has started the tray
    notifier; probes are posted until one is shown and no more follow."""
    for attempt in range(30):
        post_notice("#1soak probe %d" % attempt)
        if wait_until(lambda: any(m.startswith("soak probe") for m, _, _ in shown_notices()), 1.5):
            break
    else:
        return False
    count = -1
    while count != len(shown_notices()):
        count = len(shown_notices())
        time.sleep(3)
    return True


def keep_posting(posted, load_end):
    serial = 0
    next_post = time.monotonic()
    while time.monotonic() < load_end - 3:
        severity = 1 + serial % 3
        message = "soak notice %d" % serial
        if post_notice("#%d%s" % (severity, message)):
            posted[message] = severity
        else:
            problem("post_notice did not post %r" % message)
        serial += 1
        next_post += NOTICE_PERIOD_S
        time.sleep(max(0.0, next_post - time.monotonic()))


# ---- checks ----------------------------------------------------------------

def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def trap_lines(trap_log):
    with open(trap_log, errors="replace") as log:
        return sum(1 for line in log if line.startswith("V1 "))


def check_traps(machine, trap_log):
    received = {}
    order = {}
    pattern = re.compile(r'^V1 (\S+) 6 \.(\d+) .*STRING: "Controller #(\d+): (soak event c\d+ n\d+)"')
    with open(trap_log, errors="replace") as log:
        for line in log:
            match = pattern.match(line)
            if match:
                received.setdefault(match.group(4), []).append(
                    (match.group(1), int(match.group(2)), int(match.group(3))))
                order.setdefault(match.group(3), []).append(int(match.group(4).rsplit("n", 1)[1]))
    # Each controller's events arrive in the order in which they fell due.
    reordered = [c for c, serials in order.items() if serials != sorted(serials)]
    lost = [d for d in machine.raised if d not in received]
    doubled = [d for d, traps in received.items() if len(traps) > 1]
    strange = [d for d in received if d not in machine.raised]
    wrong = [d for d, traps in received.items() if d in machine.raised and any(
        t != (TRAP_ENTERPRISE, machine.raised[d][1], machine.raised[d][0]) for t in traps)]
    say("traps: %d events raised, %d traps received for them (%d lost, %d doubled, "
        "%d unknown, %d with a wrong enterprise, specific number or controller)"
        % (len(machine.raised), sum(len(t) for t in received.values()), len(lost), len(doubled),
           len(strange), len(wrong)))
    for what, items in (("lost", lost), ("doubled", doubled), ("unknown", strange), ("wrong", wrong),
                        ("out of order on controller", reordered)):
        if items:
            problem("%d trap(s) %s, for instance %s" % (len(items), what, items[:3]))


def check_notices(posted):
    shown = {}
    refused = []
    for message, flags, result in shown_notices():
        if message.startswith("soak notice"):
            shown.setdefault(message, []).append(flags)
            if result == "0":
                refused.append(message)
    lost = [m for m in posted if m not in shown]
    doubled = [m for m, flags in shown.items() if len(flags) > 1]
    unposted = [m for m in shown if m not in posted]
    wrong = [m for m, flags in shown.items() if m in posted and flags[0] != SEVERITY_FLAGS[posted[m]]]
    say("notices: %d posted, %d shown (%d lost, %d doubled, %d never posted, %d with the wrong severity)"
        % (len(posted), sum(len(f) for f in shown.values()), len(lost), len(doubled), len(unposted),
           len(wrong)))
    for what, items in (("lost", lost), ("doubled", doubled), ("never posted", unposted),
                        ("with the wrong severity", wrong), ("refused by the shell", refused)):
        if items:
            problem("%d notice(s) %s, for instance %s" % (len(items), what, items[:3]))


def brief_figures(table):
    """handles/private KiB of each program, for the progress lines."""
    return ", ".join("%s %s" % (name.split(".")[0], "/".join(
        "%s/%dK" % (h, int(m) // 1024) if m.isdigit() else "%s/%s" % (h, m) for _, h, m in table.get(name, [])) or "-")
        for name in PROGRAMS)


def check_figures(start, end):
    say("programs (pid, handles, private bytes) at the start and at the end:")
    for name in PROGRAMS:
        before, after = start.get(name, []), end.get(name, [])
        say("  %-20s start %-28s end %s" % (name, before, after))
        if len(before) != 1 or len(after) != 1:
            problem("%s: %d process(es) at the start, %d at the end" % (name, len(before), len(after)))
            continue
        (pid0, handles0, memory0), (pid1, handles1, memory1) = before[0], after[0]
        if pid0 != pid1:
            problem("%s ended and was started again (pid %d, then %d)" % (name, pid0, pid1))
        if "?" in (handles0, memory0, handles1, memory1):
            problem("%s: the figures could not be read" % name)
            continue
        if int(handles1) > int(handles0) + HANDLE_TOLERANCE:
            problem("%s: handles grew from %s to %s" % (name, handles0, handles1))
        if int(memory1) > int(memory0) + MEMORY_TOLERANCE:
            problem("%s: private memory grew from %s to %s bytes" % (name, memory0, memory1))
    if end.get("winedbg.exe"):
        problem("a program crashed: winedbg runs")


def check_final_walk(machine, target):
    percent = machine.rebuild["progress"]["rebuild"]["percent"]
    _, text = walk_once("snmpwalk", ["-v2c"], target, WalkStats(), None, named=True)
    values = dict(line.split(" = ", 1) for line in text.splitlines() if " = " in line)
    shown = values.get("arvexaLdProgress.%d" % machine.rebuild_row(), "nothing")
    say("inventory: %d changes; after the last one the rebuild stands at %d %%, the last walk shows %s"
        % (machine.changes, percent, shown))
    if shown != "INTEGER: %d" % percent:
        problem("the last walk does not show the last rebuild percentage %d" % percent)


# ---- the run ---------------------------------------------------------------

class System:
    def __init__(self, work):
        self.work = work
        self.trapd = None
        self.service = None
        self.notifier = None
        self.service_output = os.path.join(work, "snmp_service.out")
        self.installed = False

    def start_trapd(self):
        port = free_udp_port()
        self.trap_log = os.path.join(self.work, "traps.log")
        conf = os.path.join(self.work, "snmptrapd.conf")
        with open(conf, "w") as out:
            out.write("disableAuthorization yes\nformat1 V1 %N %w %q %v\\n\n")
        self.trapd = subprocess.Popen(
            ["snmptrapd", "-f", "-C", "-c", conf, "-n", "-On", "-Lf", self.trap_log,
             "udp:127.0.0.1:%d" % port],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=dict(os.environ, SNMPCONFPATH=self.work, MIBS=""))
        if not wait_until(lambda: os.path.exists(self.trap_log)
                          and "NET-SNMP" in open(self.trap_log, errors="replace").read(), 10):
            raise RuntimeError("snmptrapd did not start")
        return port

    def start_snmp_service(self, scenario, trap_port):
        port = free_udp_port()
        env = dict(os.environ, KALVBRIDGE_SCENARIO="Z:" + scenario)
        with open(self.service_output, "wb") as out:
            self.service = subprocess.Popen(
                [WINE, os.path.join(BIN, "snmp_service.exe"), "--agent", "KalvSnmp.dll",
                 "--listen", "127.0.0.1:%d" % port, "--trap-to", "127.0.0.1:%d" % trap_port],
                stdout=out, stderr=subprocess.STDOUT, env=env)
        if not wait_until(lambda: "serving" in self.service_text(), 30):
            raise RuntimeError("snmp_service did not start: " + self.service_text())
        return "127.0.0.1:%d" % port

    def service_text(self):
        with open(self.service_output, "rb") as out:
            return out.read().decode("utf-8", "replace").replace("\r", "")

    def install_service(self):
        os.makedirs(INSTALL_DIR, exist_ok=True)
        for program in ("ArvexaService.exe", "Arvexa.exe"):
            shutil.copy(os.path.join(BIN, program), INSTALL_DIR)
        shutil.copy(os.path.join(BIN, "NotiTrayRecorder.exe"),
                    os.path.join(SYSTEM_DIR, "NotiTrayClient.exe"))
        if os.path.exists(RECORD):
            os.remove(RECORD)
        _, output = wine_run(["C:\\Storage\\bin\\ArvexaService.exe", "-i"])
        self.installed = True
        if 'started ok' not in output:
            raise RuntimeError("the service did not start: " + output)
        # post_notice fails while the stand-in has not made the mailbox yet;
        # this probe waits in the mailbox until the notifier server drains it.
        if not wait_until(lambda: post_notice("#1soak probe"), 30, 0.5):
            raise RuntimeError("the management-server stand-in made no event mailbox")

    def start_notifier(self):
        self.notifier = subprocess.Popen([WINE, os.path.join(BIN, "NotiTrayServer.exe")],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not connect_notice_path():
            raise RuntimeError("no notice reached the tray notifier")

    def stop(self, checking):
        if self.service is not None:
            self.service.send_signal(signal.SIGINT)
            try:
                status = self.service.wait(30)
            except subprocess.TimeoutExpired:
                self.service.kill()
                status = self.service.wait()
            if checking and status != 0:
                problem("snmp_service ended with exit code %d" % status)
        if self.installed:
            _, output = wine_run(["C:\\Storage\\bin\\ArvexaService.exe", "-d"])
            if checking and "UnInstalled Sucessfully" not in output:
                problem("the service was not uninstalled: " + output.strip())
        if self.notifier is not None:
            try:
                status = self.notifier.wait(30)
                if checking and status != 0:
                    problem("NotiTrayServer ended with exit code %d" % status)
            except subprocess.TimeoutExpired:
                problem("NotiTrayServer did not end after the terminate notice")
                self.notifier.kill()
                self.notifier.wait()
        if self.trapd is not None:
            self.trapd.terminate()
            self.trapd.wait()
        if checking:
            left = wait_until(lambda: not any(figures().get(p) for p in PROGRAMS), 20, 1)
            if not left:
                problem("still running after the stop: %s"
                        % [p for p, rows in figures().items() if rows])


def soak(seconds, work):
    system = System(work)
    stopped = False
    try:
        say("== starting the system")
        scenario = os.path.join(work, "scenario.json")
        machine = Machine(scenario)
        trap_port = system.start_trapd()
        target = system.start_snmp_service(scenario, trap_port)
        start = time.monotonic()
        system.install_service()
        system.start_notifier()
        reference, _ = walk_once("snmpwalk", ["-v2c"], target, WalkStats(), None)
        say("   service host, management-server stand-in, notifier server, tray notifier, "
            "snmp_service with KalvSnmp.dll at %s, snmptrapd; the private MIB has %d names"
            % (target, len(reference)))

        load_end = time.monotonic() + seconds
        stop_machine = threading.Event()
        stats = WalkStats()
        posted = {}
        threads = [threading.Thread(target=drive_machine, args=(machine, start, load_end, stop_machine))]
        threads += [threading.Thread(target=keep_walking, args=(tool, options, target, stats, reference, load_end))
                    for tool, options in WALKERS]
        threads.append(threading.Thread(target=keep_posting, args=(posted, load_end)))
        for thread in threads:
            thread.daemon = True
            thread.start()
        say("== load for %d s: %d walking clients, events every %d ms from each of %d controllers, "
            "an inventory change every %d s, a notice every %.1f s"
            % (seconds, len(WALKERS), EVENT_PERIOD_MS, len(machine.controllers), INVENTORY_PERIOD_S,
               NOTICE_PERIOD_S))
        time.sleep(min(20, seconds / 6))
        start_figures = figures()
        say("   figures at the start taken %.0f s into the load" % (time.monotonic() - load_end + seconds))
        while time.monotonic() < load_end - 5:
            time.sleep(min(30, max(0.0, load_end - 5 - time.monotonic())))
            say("   %3.0f s: %d walks, %d requests answered, %d traps, %d notices shown; %s"
                % (time.monotonic() - load_end + seconds, stats.walks, stats.answered,
                   trap_lines(system.trap_log), len(shown_notices()), brief_figures(figures())))
        end_figures = figures()
        for thread in threads[1:]:
            thread.join()
        stop_machine.set()
        threads[0].join()

        say("== draining")
        wait_until(lambda: trap_lines(system.trap_log) >= len(machine.raised), 30, 0.5)
        wait_until(lambda: sum(1 for m, _, _ in shown_notices() if m.startswith("soak notice"))
                   >= len(posted), 30, 0.5)
        time.sleep(3)

        say("== results")
        if stats.latencies:
            say("requests: %d sent, %d answered in %d walks (%d bad); latency ms p50 %.1f, p90 %.1f, "
                "p99 %.1f, max %.1f"
                % (stats.sent, stats.answered, stats.walks, stats.bad_walks,
                   1000 * percentile(stats.latencies, 0.5), 1000 * percentile(stats.latencies, 0.9),
                   1000 * percentile(stats.latencies, 0.99), 1000 * max(stats.latencies)))
        if stats.answered != stats.sent or stats.walks == 0:
            problem("%d of %d requests unanswered" % (stats.sent - stats.answered, stats.sent))
        check_final_walk(machine, target)
        check_traps(machine, system.trap_log)
        check_notices(posted)
        check_figures(start_figures, end_figures)

        say("== stopping")
        stopped = True
        system.stop(True)
        summary = re.search(r"answered (\d+) requests, sent (\d+) traps", system.service_text())
        if summary is None:
            problem("snmp_service printed no summary")
        else:
            say("snmp_service says: answered %s requests, sent %s traps (the clients saw %d answers, "
                "snmptrapd %d traps)" % (summary.group(1), summary.group(2), all_answered[0],
                                         trap_lines(system.trap_log)))
            if int(summary.group(1)) != all_answered[0]:
                problem("the service answered %s requests, the clients received %d"
                        % (summary.group(1), all_answered[0]))
            if int(summary.group(2)) != trap_lines(system.trap_log):
                problem("the service sent %s traps, snmptrapd received %d"
                        % (summary.group(2), trap_lines(system.trap_log)))
    except (RuntimeError, OSError, subprocess.SubprocessError) as error:
        problem(str(error))
    finally:
        if not stopped:
            system.stop(False)
    if problems:
        say("soak: %d problem(s)" % len(problems))
        return 1
    say("soak: nothing lost or doubled, no program ended early, figures within tolerance "
        "(handles +%d, private memory +%d KiB)" % (HANDLE_TOLERANCE, MEMORY_TOLERANCE // 1024))
    return 0


def main():
    seconds = int(sys.argv[1]) if len(sys.argv) > 1 else 180
    if seconds < 60:
        print("soak: give at least 60 seconds", file=sys.stderr)
        return 2
    if "ARVEXA_WINE_SESSION" not in os.environ:
        os.execv(os.path.join(REPO, "cmake", "wine-session.sh"), ["wine-session.sh"] + sys.argv)
    # A signal still stops what the soak started on the Linux side.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    work = tempfile.mkdtemp()
    try:
        return soak(seconds, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
