"""SMTP test server on aiosmtpd, 127.0.0.1, port 0; prints "PORT <n>" first.

For every event it prints one line: "AUTH <user>" after a login, and for
each accepted mail "MAIL <json>" with the envelope sender, the recipients,
the headers and the body decoded by Python's email package, and the raw text.

Usage: smtp_server.py [--user U --password P [--auth-required]]
         [--refuse ADDRESS]... [--delay SECONDS] [--greeting-delay SECONDS]
         [--hang-up] [--out DIR]
  --user/--password  offer AUTH LOGIN (and PLAIN) with this account
  --auth-required    refuse mail before a login (530)
  --refuse           RCPT of this address gets 550
  --delay            wait this long before answering the end of DATA
  --greeting-delay   wait this long before the 220 greeting of each connection
  --hang-up          close every connection before the greeting
  --out              also write each message as DIR/message-<n>.eml
"""
import argparse
import asyncio
import email
import email.policy
import json
import os
import logging
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--user", default="")
    ap.add_argument("--password", default="")
    ap.add_argument("--auth-required", action="store_true")
    ap.add_argument("--refuse", action="append", default=[])
    ap.add_argument("--delay", type=float, default=0)
    ap.add_argument("--greeting-delay", type=float, default=0)
    ap.add_argument("--hang-up", action="store_true")
    ap.add_argument("--out", default="")
    args = ap.parse_args()
    warnings.filterwarnings("ignore")
    logging.disable(logging.CRITICAL)
    count = [0]

    class Handler:
        async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
            if address in args.refuse:
                return "550 Destinataire inconnu <%s>" % address
            envelope.rcpt_tos.append(address)
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            if args.delay:
                await asyncio.sleep(args.delay)
            raw = envelope.content.decode("utf-8", "replace")
            msg = email.message_from_bytes(envelope.content, policy=email.policy.default)
            body = msg.get_content() if not msg.is_multipart() else ""
            count[0] += 1
            if args.out:
                with open(os.path.join(args.out, "message-%d.eml" % count[0]), "wb") as f:
                    f.write(envelope.content)
            print("MAIL " + json.dumps({
                "from": envelope.mail_from,
                "rcpts": envelope.rcpt_tos,
                "headers": [[k, str(v)] for k, v in msg.items()],
                "body": body,
                "raw": raw,
            }), flush=True)
            return "250 Message accepted"

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and \
            auth_data.login.decode() == args.user and auth_data.password.decode() == args.password
        if ok:
            print("AUTH %s %s" % (mechanism, args.user), flush=True)
        # handled=False: aiosmtpd then answers a refused login with 535 itself.
        return AuthResult(success=ok, handled=False)

    class Server(SMTP):
        greeted = False

        def connection_made(self, transport):
            if args.hang_up:
                transport.close()
                return
            super().connection_made(transport)

        async def push(self, status):
            if not self.greeted and str(status).startswith("220"):
                self.greeted = True
                await asyncio.sleep(args.greeting_delay)
            await super().push(status)

    def factory():
        if args.user:
            return Server(Handler(), authenticator=authenticator, auth_require_tls=False,
                          auth_required=args.auth_required, hostname="palvren-test")
        return Server(Handler(), hostname="palvren-test")

    loop = asyncio.new_event_loop()
    server = loop.run_until_complete(loop.create_server(factory, "127.0.0.1", 0))
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    try:
        loop.run_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
