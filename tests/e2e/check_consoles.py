#!/usr/bin/env python3
"""Runs the consoles example as the README starts it and works both consoles as a client would.

The program is copied, with a settings file of free loopback ports, into a directory of its own
(the settings file is read beside the program; its libraries are found in its own directory).
Then: GET /status answers 200 with the status XML and any other path 204; a telnet client logs
on with the shell's account, runs STATUS and HELP, and QUIT ends its session; SIGTERM ends the
program with exit code 0. A telnet port the settings leave off makes the program say so and
end with 1.

    check_consoles.py <program>
"""
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

BOUND_S = 20  # any one wait
SETTINGS = """[System]
Debug=0
[DSystem]
Broadcast=127.255.255.255
[Network]
Http.Port={http}
Http.Users=2
[Telnet]
Port={telnet}
Users=2
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fail(text):
    print("FAILED: " + text)
    sys.exit(1)


def start(program, work, telnet, http):
    copy = os.path.join(work, os.path.basename(program))
    shutil.copy2(program, copy)
    with open(copy + ".CLSID", "w", encoding="ascii") as f:
        f.write(SETTINGS.format(telnet=telnet, http=http))
    env = dict(os.environ, LD_LIBRARY_PATH=os.path.dirname(os.path.abspath(program)))
    return subprocess.Popen([copy], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env,
                            text=True)


def http_get(port, path):
    with socket.create_connection(("127.0.0.1", port), timeout=BOUND_S) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: localhost\r\n\r\n" % path).encode())
        answer = b""
        while chunk := s.recv(4096):
            answer += chunk
    return answer.decode("latin-1")


class Telnet:
    def __init__(self, port):
        self.s = socket.create_connection(("127.0.0.1", port), timeout=BOUND_S)
        self.got = b""

    def until(self, text):
        while text.encode() not in self.got:
            chunk = self.s.recv(4096)
            if not chunk:
                fail("telnet: the connection closed before %r; got %r" % (text, self.got))
            self.got += chunk
        head, _, self.got = self.got.partition(text.encode())
        return head.decode("latin-1")

    def send(self, line):
        self.s.sendall(line.encode() + b"\r")


def check_running(program, work):
    telnet, http = free_port(), free_port()
    proc = start(program, work, telnet, http)
    try:
        ready = ""
        if select.select([proc.stdout], [], [], BOUND_S)[0]:
            ready = proc.stdout.readline()
        if "telnet on port %d, HTTP on port %d" % (telnet, http) not in ready:
            fail("the program did not start both consoles: " + ready + proc.stdout.read())

        status = http_get(http, "/STATUS")
        if not status.startswith("HTTP/1.1 200 OK\r\n") or \
                '<status program="consoles"' not in status or \
                'telnet="%d" http="%d"' % (telnet, http) not in status:
            fail("GET /status answered: %r" % status)
        other = http_get(http, "/other")
        if not other.startswith("HTTP/1.1 204 No content\r\n"):
            fail("GET /other answered: %r" % other)

        client = Telnet(telnet)
        client.until("UserName:")
        client.send(" kest20 ")
        client.until("Password:")
        client.send("mrvk73")
        client.until("(:>")
        client.send("status")
        if "telnet on port %d, HTTP on port %d" % (telnet, http) not in client.until("(:>"):
            fail("telnet STATUS did not answer")
        client.send("help")
        listing = client.until("(:>").split()
        for command in ("QUIT", "HELP", "LOG", "RES", "CLASS", "AUTOTASK", "STATUS"):
            if command not in listing:
                fail("telnet HELP lacks " + command + ": " + " ".join(listing))
        client.send("quit")
        client.until("Press any key to exit")
        client.s.sendall(b" ")
        if client.s.recv(100):
            fail("telnet: the session went on after QUIT")

        proc.send_signal(signal.SIGTERM)
        out, _ = proc.communicate(timeout=BOUND_S)
        if proc.returncode != 0 or "consoles: stopping" not in out:
            fail("the program ended with %d after SIGTERM:\n%s" % (proc.returncode, out))
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    print("ok: both consoles answer, and SIGTERM ends the program")


def check_telnet_off(program, work):
    proc = start(program, work, 0, free_port())
    out, _ = proc.communicate(timeout=BOUND_S)
    if proc.returncode != 1 or "telnet shell could not start" not in out:
        fail("with no telnet port the program ended with %d:\n%s" % (proc.returncode, out))
    print("ok: a console left off is named, exit code 1")


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        check_running(program, work)
        check_telnet_off(program, work)


if __name__ == "__main__":
    main()
