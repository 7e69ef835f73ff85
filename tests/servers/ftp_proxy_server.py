"""Scripted FTP peer for login transcripts (stands in for an FTP proxy).

127.0.0.1, port 0; prints "PORT <n>", then "CMD <line>" for every command
line it receives (passwords included), one connection after another.
Default replies: USER 331, PASS 230, SITE 200, OPEN 220, TYPE 200, CWD 250,
MKD 257, SIZE "213 1234", QUIT 221 (then closes); anything else 502.

Usage: ftp_proxy_server.py [--reply "VERB=CODE text"]... [--mute VERB]... [--greeting "220 text"] [--silent]
       ftp_proxy_server.py --forward [--proxy-user U --proxy-pass P] [--map PORT=REALPORT]...
                           [--transparent HOST:PORT]
  --reply    overrides one verb's reply; "\\n" in the text makes a multi-line reply
  --mute     never answers this verb (a server that hangs on it)
  --silent   accepts connections but never sends a byte (a server that hangs)
  --forward  a real proxy: it answers its own login (USER U, PASS P), learns the server from
             "USER user@host[:port]", "USER user@proxyuser@host[:port]" (then PASS pass[@P]),
             "SITE host[:port]" or "OPEN host[:port]" (port 21 when none is named), connects
             there, prints "UPSTREAM host:port" and relays the session both ways; "421" when it
             cannot connect
  --map      connects to REALPORT where PORT is named (stands in for a server on port 21)
  --transparent  where a plain "USER user" goes
The data connections go straight between client and server, both on 127.0.0.1.
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


def read_reply(reader):
    """One whole reply (multi-line included) from a server, as bytes."""
    first = reader.readline()
    out = first
    if len(first) >= 4 and first[3:4] == b"-":
        end = first[:3] + b" "
        while True:
            line = reader.readline()
            out += line
            if not line or line.startswith(end):
                break
    return out


def relay(reader, conn):
    try:
        while True:
            data = reader.read1(65536)
            if not data:
                break
            conn.sendall(data)
    except OSError:
        pass
    try:
        conn.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass


def forward(conn, args):
    """A relaying FTP proxy on one client connection."""
    ports = dict(item.split("=", 1) for item in args.map)
    upstream = None
    strip_pass = None  # the "@proxypass" that a UserPass PASS carries
    with conn:
        send(conn, "220 Proxy ready.")
        reader = conn.makefile("rb")

        def open_upstream(target):
            nonlocal upstream
            host, sep, port = target.rpartition(":")
            if not sep or not port.isdigit():
                host, port = target, "21"
            port = int(ports.get(port, port))
            print("UPSTREAM %s:%d" % (host, port), flush=True)
            try:
                upstream = socket.create_connection((host, port), timeout=10)
            except OSError as e:
                send(conn, "421 Cannot connect to %s:%d (%s)." % (host, port, e.strerror))
                return None
            upstream.settimeout(None)
            up_reader = upstream.makefile("rb")
            read_reply(up_reader)  # the server's greeting: the client had the proxy's
            return up_reader

        def start_relay(up_reader):
            threading.Thread(target=relay, args=(up_reader, conn), daemon=True).start()

        proxy_user_pending = False
        while True:
            line = reader.readline()
            if not line:
                break
            text = line.rstrip(b"\r\n").decode("utf-8", "replace")
            print("CMD " + text, flush=True)
            verb, _, arg = text.partition(" ")
            verb = verb.upper()
            if upstream is not None:
                if verb == "PASS" and strip_pass is not None:
                    if strip_pass and not arg.endswith("@" + strip_pass):
                        send(conn, "530 Proxy password incorrect.")
                        continue
                    if strip_pass:
                        arg = arg[: -len(strip_pass) - 1]
                    text = "PASS " + arg
                    strip_pass = None
                upstream.sendall((text + "\r\n").encode("utf-8"))
                continue
            if verb == "QUIT":
                send(conn, "221 Goodbye.")
                break
            if verb == "USER" and args.proxy_user and arg == args.proxy_user:
                proxy_user_pending = True
                send(conn, "331 Proxy password required.")
            elif verb == "PASS" and proxy_user_pending:
                proxy_user_pending = False
                send(conn, "230 Proxy login accepted." if arg == args.proxy_pass else "530 Proxy login incorrect.")
            elif verb == "USER":
                parts = arg.split("@")
                if len(parts) == 1 and args.transparent:
                    user, target = arg, args.transparent
                elif len(parts) == 2:
                    user, target = parts
                elif len(parts) == 3:
                    user, target = parts[0], parts[2]
                    strip_pass = args.proxy_pass
                else:
                    send(conn, "530 No host named.")
                    continue
                up_reader = open_upstream(target)
                if up_reader is None:
                    break
                start_relay(up_reader)
                upstream.sendall(("USER " + user + "\r\n").encode("utf-8"))
            elif verb in ("SITE", "OPEN"):
                up_reader = open_upstream(arg)
                if up_reader is None:
                    break
                send(conn, "200 Site selected." if verb == "SITE" else "220 Connected to host.")
                start_relay(up_reader)
            else:
                send(conn, "530 Not logged in.")
        if upstream is not None:
            try:
                upstream.shutdown(socket.SHUT_WR)
            except OSError:
                pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--reply", action="append", default=[])
    ap.add_argument("--mute", action="append", default=[])
    ap.add_argument("--greeting", default="220 Proxy ready.")
    ap.add_argument("--silent", action="store_true")
    ap.add_argument("--forward", action="store_true")
    ap.add_argument("--proxy-user", default="")
    ap.add_argument("--proxy-pass", default="")
    ap.add_argument("--map", action="append", default=[])
    ap.add_argument("--transparent", default="")
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
        if args.forward:
            threading.Thread(target=forward, args=(conn, args), daemon=True).start()
            continue
        threading.Thread(target=serve, args=(conn, replies, [m.upper() for m in args.mute], args.greeting, args.silent), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
