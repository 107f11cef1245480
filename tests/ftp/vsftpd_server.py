#!/usr/bin/python3
"""vsftpd on 127.0.0.1 for the FTP client and store tests, a second real server beside
ftp_server.py whose replies differ in the details (CDUP answers 250; a transfer in progress
reads nothing of its control connection, so it never hears an ABOR).

Listens on a free port, prints "PORT <n>" and serves each connection with a vsftpd of its own
in inetd mode (the connection as its standard input and output), run as the launching user
with a configuration in a temporary directory: no fixed port, no system service, root or not.
The user is "anonymous" (any password) in --root. Options: --read-only refuses every write;
--rate limits data connections to that many bytes a second; --command-log appends every
command vsftpd received to that file (vsftpd's own protocol log). Ends on SIGTERM,
and with it every connection's server; ends too when the process that started it goes.
"""
import argparse
import ctypes
import os
import signal
import socket
import subprocess
import tempfile

VSFTPD = "/usr/sbin/vsftpd"
PR_SET_PDEATHSIG = 1


def config(args, directory):
    writes = "NO" if args.read_only else "YES"
    # Only what a test directory and a port need: vsftpd's protocol is left as it ships, as
    # a station runs it. It runs as the launching user (no root, so no sandbox of its own),
    # serves anonymous users from the test directory and lets them write there, and keeps
    # the files it stores readable to later transfers.
    lines = [
        "listen=NO",
        "run_as_launching_user=YES",
        "seccomp_sandbox=NO",
        "anonymous_enable=YES",
        "anon_root=" + os.path.abspath(args.root),
        "write_enable=" + writes,
        "anon_upload_enable=" + writes,
        "anon_mkdir_write_enable=" + writes,
        "anon_other_write_enable=" + writes,
        "anon_world_readable_only=NO",
        "anon_umask=022",
    ]
    if args.rate:
        lines += ["anon_max_rate=%d" % args.rate]
    if args.command_log:
        lines += ["xferlog_enable=YES", "xferlog_std_format=NO", "log_ftp_protocol=YES",
                  "vsftpd_log_file=" + os.path.abspath(args.command_log)]
    path = os.path.join(directory, "vsftpd.conf")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    os.chmod(path, 0o600)
    return path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="anonymous")
    parser.add_argument("--password", default="")
    parser.add_argument("--read-only", action="store_true")
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--command-log", default="")
    args = parser.parse_args()

    directory = tempfile.mkdtemp(prefix="kest_vsftpd_")
    conf = config(args, directory)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    servers = []

    def end(*_):
        # Each vsftpd runs in a session of its own, out of reach of a signal to the group.
        for server in servers:
            if server.poll() is None:
                server.kill()
        os.remove(conf)
        os.rmdir(directory)
        os._exit(0)

    signal.signal(signal.SIGTERM, end)
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        servers = [s for s in servers if s.poll() is None]
        servers.append(subprocess.Popen([VSFTPD, conf], stdin=conn.fileno(), stdout=conn.fileno(),
                                        stderr=subprocess.DEVNULL, close_fds=True))
        conn.close()


if __name__ == "__main__":
    main()
