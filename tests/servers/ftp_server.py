"""FTP test server on pyftpdlib, 127.0.0.1, port 0; prints "PORT <n>" first.

Usage: ftp_server.py --root DIR [--user U] [--password P]
         [--refuse-login] [--read-limit BYTES_PER_S]
         [--stall-after N] [--drop-after N] [--final-reply "426 text"] [--discard]
         [--drop-on-size]
  --refuse-login   every login is refused (530)
  --read-limit     uploads are read no faster than this
  --stall-after    an upload stops being read after N bytes (the client must time out)
  --drop-after     an upload's data connection is reset after N bytes (426 on the control)
  --final-reply    the reply sent instead of 226 when an upload completes
  --discard        uploads are counted, not written (an empty file remains);
                   "RECEIVED <n>" is printed at the end of each one
  --drop-on-size   a SIZE command closes the control connection unanswered
"""
import argparse
import logging
import socket
import struct
import sys
import time

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--user", default="user")
    ap.add_argument("--password", default="secret")
    ap.add_argument("--refuse-login", action="store_true")
    ap.add_argument("--read-limit", type=int, default=0)
    ap.add_argument("--stall-after", type=int, default=0)
    ap.add_argument("--drop-after", type=int, default=0)
    ap.add_argument("--final-reply", default="")
    ap.add_argument("--discard", action="store_true")
    ap.add_argument("--drop-on-size", action="store_true")
    args = ap.parse_args()
    logging.basicConfig(level=logging.CRITICAL)

    class Authorizer(DummyAuthorizer):
        def validate_authentication(self, username, password, handler):
            if args.refuse_login:
                raise AuthenticationFailed("Login refused.")
            super().validate_authentication(username, password, handler)

    class DTP(DTPHandler):
        def __init__(self, sock, cmd_channel):
            super().__init__(sock, cmd_channel)
            self._stalled = False
            if args.stall_after:
                self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)

        def handle_read(self):
            if self._stalled:
                return
            if args.discard:
                try:
                    chunk = self.recv(1 << 20)
                except socket.error:
                    return self.handle_error()
                if not chunk:
                    self.transfer_finished = True
                    return
                self.tot_bytes_received += len(chunk)
                return
            before = self.tot_bytes_received
            super().handle_read()
            got = self.tot_bytes_received
            if args.read_limit and got > before:
                # One client at a time: sleeping here is the simplest throttle.
                time.sleep((got - before) / float(args.read_limit))
            if args.stall_after and got >= args.stall_after:
                self._stalled = True
                self.del_channel()
            elif args.drop_after and got >= args.drop_after:
                self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self._resp = ("426 Connection closed; transfer aborted.", logging.info)
                self.close()

        handle_read_event = handle_read

        def close(self):
            if args.final_reply and self.receive and self.transfer_finished and self._resp \
                    and self._resp[0].startswith("226"):
                self._resp = (args.final_reply, logging.info)
            if args.discard and self.receive and not self._closed:
                print("RECEIVED %d" % self.tot_bytes_received, flush=True)
            super().close()

    class Handler(FTPHandler):
        def ftp_SIZE(self, path):
            if args.drop_on_size:
                return self.close()
            return super().ftp_SIZE(path)

    authorizer = Authorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = Handler
    handler.authorizer = authorizer
    handler.dtp_handler = DTP
    handler.banner = "palvren test server ready."
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    try:
        server.serve_forever(handle_exit=False)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
