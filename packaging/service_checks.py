"""Checks of the installed service, run inside the throw-away container of test_service.sh.

Installs the package, then drives the service through systemctl and UDP on loopback and reads
its journal. Prints one line per check; the last line says whether all passed.
"""

import re
import socket
import subprocess
import sys
import time

UNIT = "tavrin-server.service"
PROTOCOL_DOC = "/usr/share/doc/tavrin-server/protocol.md"
failures = []


def check(what, ok, detail=""):
    print(("ok    " if ok else "FAIL  ") + what + (f" ({detail})" if detail and not ok else ""),
          flush=True)
    if not ok:
        failures.append(what)
    return ok


def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout.strip()


def prop(name):
    return run("systemctl", "show", UNIT, "-p", name, "--value")


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def ask(text, timeout=1.0):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(timeout)
        s.sendto(text, ("127.0.0.1", 8080))
        try:
            return s.recv(65536)
        except socket.timeout:
            return None


def send(port, text):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(text.encode(), ("127.0.0.1", port))


def answering():
    return ask(b"STATUS", 0.3) is not None


def journal():
    return run("journalctl", "-u", UNIT, "--no-pager", "-o", "cat")


def in_journal(text, seconds=5):
    return wait_for(lambda: text in journal(), seconds)


def documented_example():
    """The sentences and the record of the example exchange in protocol.md."""
    with open(PROTOCOL_DOC) as doc:
        text = doc.read()
    example = text[text.index("## An example exchange"):]
    sentences = re.findall(r"^to (\d+) +(\S+)$", example, re.M)
    record = re.search(r"^(1709626026,1709626020,.*)$", example, re.M).group(1)
    return [(int(port), sentence) for port, sentence in sentences], record.split(",")


def nearest_day(seconds_of_day, now):
    """A time of day put on the UTC day that brings it nearest to now."""
    t = now - now % 86400 + seconds_of_day
    if t - now > 43200:
        t -= 86400
    elif now - t > 43200:
        t += 86400
    return t


def check_installation(deb):
    installed = subprocess.run(["dpkg", "-i", deb], capture_output=True, text=True)
    check("the package installs", installed.returncode == 0, installed.stderr)
    check("the service is not enabled on install", run("systemctl", "is-enabled", UNIT) == "disabled")
    check("nor started", run("systemctl", "is-active", UNIT) == "inactive")
    run("systemctl", "enable", "--now", UNIT)
    check("it starts when enabled", wait_for(lambda: prop("ActiveState") == "active" and answering(), 10),
          prop("ActiveState"))


def check_confinement():
    pid = prop("MainPID")
    with open(f"/proc/{pid}/status") as f:
        status = dict(line.split(":", 1) for line in f.read().splitlines())
    uid = status["Uid"].split()[0]
    check("the server runs without root, under a transient user", uid != "0" and int(uid) >= 61184,
          status["Uid"])
    check("without capabilities", int(status["CapEff"], 16) == 0, status["CapEff"])
    check("with no way to gain privileges", status["NoNewPrivs"].strip() == "1")
    check("under a system-call filter", status["Seccomp"].strip() == "2")
    exposure = subprocess.run(["systemd-analyze", "security", UNIT, "--threshold=20", "--no-pager"],
                              capture_output=True, text=True)
    score = re.search(r"Overall exposure level for \S+: (\S+)", exposure.stdout)
    check("systemd rates its exposure 2.0 or lower", exposure.returncode == 0,
          score.group(1) if score else exposure.stderr)


def check_protocol():
    header = ask(b"HEADER")
    check("HEADER gets the 512-byte header", header is not None and len(header) == 512
          and header.endswith(b"LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE"), repr(header)[:60])

    sentences, expected = documented_example()
    check("protocol.md has the example's sentences", len(sentences) == 5, str(sentences))
    for port, sentence in sentences:
        send(port, sentence)
    time.sleep(0.5)
    reply = ask(b"STATUS")
    fields = reply.decode().split(",") if reply else []
    check("the record has 26 fields", len(fields) == 26, repr(reply))
    if len(fields) != 26:
        return
    # Fields 1 and 23 to 25 are the host clock now, field 15 the fix on the host clock's day.
    same = [i for i in range(26) if i not in (0, 14, 22, 23, 24)]
    check("the record matches protocol.md's example",
          [fields[i] for i in same] == [expected[i] for i in same], ",".join(fields))
    now = int(fields[0])
    fix = nearest_day(8 * 3600 + 6 * 60 + 59, now)
    check("the vehicle's fix time is its time of day on the host clock's day",
          fields[14] == f"{fix}.000000", f"{fields[14]} for {now}")


def check_console():
    for line in ("Received message from client 6", "sending header to client",
                 "zda:1709626020 system:", "$GPGGA,080659.00,1230.00738,S", "1709626020,NO_ITEM"):
        check(f"the journal shows '{line}'", in_journal(line))
    # A ship sentence alone prints a line that nothing flushes: it must still show at once.
    send(38002, "$GPZDA,101112.00,06,03,2024,00,00")
    check("a console line reaches the journal without waiting for a flush",
          in_journal("zda:1709719872 system:"))


def check_restarts():
    first = prop("MainPID")
    run("kill", "-KILL", first)
    check("it comes back after a crash",
          wait_for(lambda: prop("MainPID") not in ("0", first) and answering(), 15),
          prop("ActiveState"))
    check("and counts the restart", prop("NRestarts") == "1", prop("NRestarts"))

    run("systemctl", "stop", UNIT)
    check("it stops cleanly", prop("ActiveState") == "inactive", prop("ActiveState"))
    # Another program holds the query port: the server exits 1, and systemd tries again.
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as squatter:
        squatter.bind(("0.0.0.0", 8080))
        run("systemctl", "start", UNIT)
        check("a busy port is reported",
              in_journal("bind failed: Address already in use"))
        check("as exit status 1", wait_for(lambda: prop("ExecMainStatus") == "1", 5), prop("ExecMainStatus"))
    check("it starts once the port is free", wait_for(lambda: prop("ActiveState") == "active" and answering(), 15),
          prop("ActiveState"))


def check_upgrade_and_removal(deb):
    before = prop("MainPID")
    subprocess.run(["dpkg", "-i", deb], capture_output=True)
    check("reinstalling restarts the running server",
          wait_for(lambda: prop("MainPID") not in ("0", before) and answering(), 10))
    subprocess.run(["dpkg", "-r", "tavrin-server"], capture_output=True)
    check("removing the package stops the server", not answering())
    subprocess.run(["dpkg", "-P", "tavrin-server"], capture_output=True)
    check("purging it leaves no trace of the service",
          run("systemctl", "list-unit-files", UNIT, "--no-legend") == "" and
          subprocess.run(["test", "-e", "/etc/systemd/system/multi-user.target.wants/" + UNIT]).returncode != 0)


def main():
    deb = sys.argv[1]
    check_installation(deb)
    if prop("ActiveState") == "active":
        check_confinement()
        check_protocol()
        check_console()
        check_restarts()
    check_upgrade_and_removal(deb)
    print("service: all checks passed" if not failures else f"service: {len(failures)} check(s) failed")


main()
