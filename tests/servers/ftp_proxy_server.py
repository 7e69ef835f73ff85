"""Scripted FTP peer for login transcripts (stands in for an FTP proxy).

127.0.0.1, port 0; prints "PORT <n>", then "CMD <line>" for every command
line it receives (passwords included), one connection after another.
Default replies: USER 331, PASS 230, SITE 200, OPEN 220, TYPE 200, CWD 250,
MKD 257, SIZE "213 1234", QUIT 221 (then closes); anything else 502.

Usage: ftp_proxy_server.py [--reply "VERB=CODE text"]... [--mute VERB]... [--greeting "220 text"] [--silent]
  --reply    overrides one verb's reply; "\\n" in the text makes a multi-line reply
  --mute     never answers this verb (a server that hangs on it)
  --silent   accepts connections but never sends a byte (a server that hangs)
"""
import argparse
import socket
import sys
import threading

DEFAULTS = {
    "USER": "331 Password required.",
    "PASS": "230 Logged in.",
    "SITE": "200 Site selected.",
    "OPEN": "220 Connected to host.",
    "TYPE": "200 Type set to I.",
    "CWD": "250 Directory changed.",
    "MKD": "257 Directory created.",
    "SIZE": "213 1234",
    "QUIT": "221 Goodbye.",
}


def send(conn, text):
    conn.sendall(("\r\n".join(text.split("\\n")) + "\r\n").encode("utf-8"))


def serve(conn, replies, mute, greeting, silent):
    with conn:
        if silent:
            while conn.recv(4096):
                pass
            return
        send(conn, greeting)
        buf = b""
        while True:
            data = conn.recv(4096)
            if not data:
                return
            buf += data
            while b"\r\n" in buf:
                line, buf = buf.split(b"\r\n", 1)
                text = line.decode("utf-8", "replace")
                print("CMD " + text, flush=True)
                verb = text.split(" ", 1)[0].upper()
                if verb in mute:
                    continue
                send(conn, replies.get(verb, "502 Command not implemented."))
                if verb == "QUIT":
                    return


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--reply", action="append", default=[])
    ap.add_argument("--mute", action="append", default=[])
    ap.add_argument("--greeting", default="220 Proxy ready.")
    ap.add_argument("--silent", action="store_true")
    args = ap.parse_args()
    replies = dict(DEFAULTS)
    for item in args.reply:
        verb, text = item.split("=", 1)
        replies[verb.upper()] = text
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(8)
    print("PORT %d" % srv.getsockname()[1], flush=True)
    while True:
        conn, _ = srv.accept()
        threading.Thread(target=serve, args=(conn, replies, [m.upper() for m in args.mute], args.greeting, args.silent), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
