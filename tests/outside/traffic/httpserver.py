#!/usr/bin/env python3
# A real HTTP server for the capture tests: serves the files of a directory (GET, HEAD) and
# answers POST with a short page, on IPv6 and IPv4 at once. Usage: httpserver.py DIR PORT
import http.server
import os
import socket
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", 0))
        self.rfile.read(length)
        body = "<html><head><title>已收到</title></head></html>".encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    address_family = socket.AF_INET6

    def server_bind(self):
        self.socket.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
        super().server_bind()


os.chdir(sys.argv[1])
server = Server(("::", int(sys.argv[2])), Handler)
print("ready", flush=True)
server.serve_forever()
