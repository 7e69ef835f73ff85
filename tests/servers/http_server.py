"""HTTP test server on http.server, 127.0.0.1, port 0; prints "PORT <n>" first.

Serves the files of a folder. For every request it prints "GET <path>", then
"HDR <name>: <value>" for each request header, then "END".

Usage: http_server.py --root DIR [--chunk-delay MS] [--cut SUFFIX=BYTES] [--no-length]
  --chunk-delay  sends bodies in 8 KiB blocks with this pause between them
  --cut          for paths ending in SUFFIX, sends only the first BYTES of the body, announced
                 whole, and drops the connection
  --no-length    sends no Content-Length: an HTTP/1.0 body that ends where the connection closes
"""
import argparse
import functools
import http.server
import sys
import time


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--chunk-delay", type=int, default=0)
    ap.add_argument("--cut", default="")
    ap.add_argument("--no-length", action="store_true")
    args = ap.parse_args()
    cut_suffix, _, cut_bytes = args.cut.rpartition("=")

    class Handler(http.server.SimpleHTTPRequestHandler):
        def do_GET(self):
            print("GET " + self.path, flush=True)
            for name, value in self.headers.items():
                print("HDR %s: %s" % (name, value), flush=True)
            print("END", flush=True)
            super().do_GET()

        def send_header(self, keyword, value):
            if args.no_length and keyword.lower() == "content-length":
                return
            super().send_header(keyword, value)

        def copyfile(self, source, outputfile):
            if args.cut and self.path.endswith(cut_suffix):
                outputfile.write(source.read(int(cut_bytes)))
                outputfile.flush()
                self.close_connection = True
                return
            if not args.chunk_delay:
                return super().copyfile(source, outputfile)
            while True:
                block = source.read(8192)
                if not block:
                    return
                outputfile.write(block)
                outputfile.flush()
                time.sleep(args.chunk_delay / 1000.0)

        def log_message(self, format, *a):
            pass

    handler = functools.partial(Handler, directory=args.root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
