#!/usr/bin/python3
"""HTTP (port 80) and FTP (port 21) on 127.0.0.1 for the network tests, serving one folder.

HTTP serves files as they are, plus a few answers that real servers give and a download must survive:
  /nolength/NAME   the file without a Content-Length (the connection closes at its end)
  /empty/NAME      200 with no body
  /short/NAME      a Content-Length larger than the body sent
  /status/CODE     that status code with a short page
Missing files get 404 with an error page. FTP takes anonymous logins and user "tvk", password "secret".
"""
import http.server
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root = os.path.abspath(sys.argv[1])


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, code, body, length=None, close=False):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        parts = self.path.lstrip("/").split("/", 1)
        kind, name = (parts[0], parts[1]) if len(parts) == 2 and parts[0] in (
            "nolength", "empty", "short", "status") else ("", self.path.lstrip("/"))
        if kind == "status":
            page = b"status page"
            return self.send_body(int(name), page, len(page))
        if kind == "empty":
            return self.send_body(200, b"", 0)
        path = os.path.join(root, *name.split("/"))
        if not os.path.isfile(path):
            page = b"<html><body><h1>Not Found</h1></body></html>"
            return self.send_body(404, page, len(page))
        with open(path, "rb") as f:
            data = f.read()
        if kind == "nolength":
            return self.send_body(200, data, close=True)
        if kind == "short":
            return self.send_body(200, data[: len(data) // 2], len(data), close=True)
        self.send_body(200, data, len(data))


def main():
    web = http.server.ThreadingHTTPServer(("127.0.0.1", 80), Handler)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user("tvk", "secret", root, perm="elr")
    FTPHandler.authorizer = authorizer
    FTPHandler.passive_ports = range(30000, 30100)
    ftp = FTPServer(("127.0.0.1", 21), FTPHandler)
    threading.Thread(target=web.serve_forever, daemon=True).start()
    sys.stdout.write("ready\n")
    sys.stdout.flush()
    ftp.serve_forever()


main()
