#!/usr/bin/python3
"""An FTP server on 127.0.0.1 for the FTP client and store tests (pyftpdlib).

Serves --root for one user on a free port and prints "PORT <n>" once it listens. Options:
--read-only refuses every write; --gbk speaks GBK names on the wire (the disk keeps UTF-8);
--rmd-tree removes a directory with everything in it on RMD, as the video servers do;
--rate limits data connections to that many bytes a second; --command-log appends every
command line received to that file. Ends on SIGTERM, and when the process that started it goes.
"""
import argparse
import ctypes
import logging
import signal
import os
import shutil
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import ThreadedFTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="kest")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--read-only", action="store_true")
    parser.add_argument("--gbk", action="store_true")
    parser.add_argument("--rmd-tree", action="store_true")
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--command-log", default="")
    args = parser.parse_args()
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root,
                        perm="elr" if args.read_only else "elradfmwMT")

    class GbkFS(AbstractedFS):
        def format_list(self, *a, **k):
            for line in super().format_list(*a, **k):
                yield line.decode("utf8", "replace").encode("gbk", "replace")

    class Handler(FTPHandler):
        def decode(self, data):
            return data.decode("gbk" if args.gbk else "utf8", self.unicode_errors)

        def push(self, s):
            # Replies carry names too: on the wire in the server's encoding.
            super(FTPHandler, self).push(s.encode("gbk" if args.gbk else "utf8", "replace"))

        def pre_process_command(self, line, cmd, arg):
            if args.command_log:
                with open(args.command_log, "a") as log:
                    log.write(("PASS <password>" if cmd == "PASS" else line) + "\n")
            return FTPHandler.pre_process_command(self, line, cmd, arg)

        def ftp_RMD(self, path):
            if not args.rmd_tree or not os.path.isdir(path):
                return FTPHandler.ftp_RMD(self, path)
            shutil.rmtree(path)
            self.respond("250 Directory removed.")

    Handler.authorizer = authorizer
    if args.gbk:
        Handler.abstracted_fs = GbkFS
    if args.rate:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.rate
            write_limit = args.rate
        Handler.dtp_handler = Throttled

    logging.basicConfig(level=logging.ERROR)
    # A thread (and event loop) per connection: in one shared loop, pyftpdlib 1.5.7 may drop a
    # new control connection whose descriptor number an active data connection just gave up.
    server = ThreadedFTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
