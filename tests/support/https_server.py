#!/usr/bin/python3
"""A small HTTPS server on loopback for the update tests. Serves files from a folder and answers
404 for missing ones; besides, a few addresses misbehave on purpose, as a broken or hostile
update server would:

  /truncated                  announces 100000 bytes and breaks off after 100
  /cut/FILE?bytes=N           the first N bytes of FILE without a length, then a clean TLS close
  /chunked/FILE[?cut=N]       FILE in chunked encoding; with cut, breaks off after N bytes
  /redirect?to=ADDRESS        302 to ADDRESS
  /length/N?send=M&hold=S     announces N bytes, sends M zero bytes, then sends nothing more
                              until the client hangs up (at most S seconds)
  /stream?bytes=N             N zero bytes in chunked encoding, without a length
  /slow/FILE?pieces=P&pause=S FILE in P pieces with S seconds between them

Prints its port."""
import http.server
import os
import select
import ssl
import sys
import time
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        for prefix, serve in (("/cut/", self.cut), ("/chunked/", self.chunked), ("/length/", self.length),
                              ("/slow/", self.slow)):
            if url.path.startswith(prefix):
                serve(url.path[len(prefix):], query)
                return
        if url.path == "/truncated":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"#!/bin/sh\n" * 10)
            self.wfile.flush()
            self.connection.shutdown(2)
            return
        if url.path == "/redirect":
            self.send_response(302)
            self.send_header("Location", query["to"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if url.path == "/stream":
            self.stream(int(query["bytes"]))
            return
        super().do_GET()

    def content(self, name):
        with open(os.path.join(os.getcwd(), name), "rb") as f:
            return f.read()

    def cut(self, name, query):
        # HTTP/1.0 without a length: the body ends where the connection ends, and the TLS
        # layer closes cleanly, so only the missing length tells that the file is not whole.
        body = self.content(name)[: int(query["bytes"])]
        self.send_response(200)
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        self.close_connection = True
        try:
            self.connection.unwrap()
        except (OSError, ssl.SSLError):
            pass

    def chunked(self, name, query):
        body = self.content(name)
        cut = int(query.get("cut", len(body)))
        self.protocol_version = "HTTP/1.1"
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        for start in range(0, min(cut, len(body)), 1000):
            piece = body[start:min(start + 1000, cut)]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        if cut >= len(body):
            self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()
        self.close_connection = True
        if cut < len(body):
            self.connection.shutdown(2)

    def length(self, announced, query):
        self.send_response(200)
        self.send_header("Content-Length", announced)
        self.end_headers()
        self.wfile.write(bytes(int(query.get("send", "0"))))
        self.wfile.flush()
        # Silence until the client gives up: a hang-up makes the socket readable.
        select.select([self.connection], [], [], float(query.get("hold", "10")))
        self.close_connection = True

    def stream(self, count):
        self.protocol_version = "HTTP/1.1"
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        piece = bytes(65536)
        try:
            sent = 0
            while sent < count:
                part = piece[: min(len(piece), count - sent)]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
                sent += len(part)
            self.wfile.write(b"0\r\n\r\n")
        except OSError:
            pass  # the client stopped reading
        self.close_connection = True

    def slow(self, name, query):
        body = self.content(name)
        pieces = int(query.get("pieces", "4"))
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        step = max(1, -(-len(body) // pieces))
        for start in range(0, len(body), step):
            if start:
                time.sleep(float(query.get("pause", "0.2")))  # the server's own pace
            self.wfile.write(body[start:start + step])
            self.wfile.flush()


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # clients hang up on purpose here


def main():
    root, cert, key = sys.argv[1], sys.argv[2], sys.argv[3]
    os.chdir(root)
    server = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
