#!/usr/bin/python3
"""A small HTTPS server on loopback for the update tests: serves files from a folder, answers
404 for missing ones, and /truncated breaks off in the middle of its body. Prints its port."""
import http.server
import os
import ssl
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/truncated":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"#!/bin/sh\n" * 10)
            self.wfile.flush()
            self.connection.shutdown(2)
            return
        super().do_GET()


def main():
    root, cert, key = sys.argv[1], sys.argv[2], sys.argv[3]
    os.chdir(root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
