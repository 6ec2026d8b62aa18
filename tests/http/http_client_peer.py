#!/usr/bin/env python3
# http_client_peer.py --
#
#     The web server the HTTP client's tests talk to: http.server on
#     127.0.0.1 and a free port, which it prints as its first line. Each
#     path gives one kind of reply; "/echo" sends back what it was sent.
#     It ends when its standard input closes.

import http.server
import socketserver
import sys
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if body:
            self.wfile.write(body)

    def echo(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length > 0 else b""
        text = self.requestline.encode() + b"\n" + bytes(self.headers) + b"body:" + body
        self.reply(200, text, [("Content-Type", "text/plain")])

    def do_HEAD(self):
        self.reply(200, b"", [("X-Peer", "head")])

    def do_POST(self):
        self.echo()

    def do_GET(self):
        p = self.path
        if p == "/ok":
            self.reply(200, b"hello world", [("Content-Type", "text/plain"), ("X-Peer", "ok")])
        elif p == "/empty":
            self.reply(204)
        elif p == "/moved":
            self.reply(302, b"", [("Location", "/ok")])
        elif p == "/missing":
            self.reply(404, b"no")
        elif p == "/cookie":
            self.reply(200, b"c", [("Set-Cookie", "sid=abc==; Path=/; HttpOnly")])
        elif p == "/chunked":
            # Chunk sizes in both letter cases, an extension, a trailer,
            # and bytes after the last chunk that are not body.
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"5\r\nhello\r\n1;ext=1\r\n \r\nA\r\n0123456789\r\n"
                     b"1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Trailer: 1\r\n\r\nJUNK")
        elif p == "/badchunk":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"3\r\nabc\r\nzz\r\nmore")
        elif p == "/early":
            # The head and the first body bytes in one write, the rest after.
            self.raw(b"HTTP/1.0 200 OK\r\nX-Peer: early\r\n\r\nfirst-")
            self.raw(b"second")
        elif p == "/bighead":
            self.raw(b"HTTP/1.0 200 OK\r\n")
            line = b"X-Filler: " + b"x" * 1000 + b"\r\n"
            try:
                for _ in range(1200):
                    self.raw(line)
            except OSError:
                pass
        elif p.startswith("/length/"):
            # A reply with the Content-Length fields the path names,
            # parted by "+": /length/5+5, /length/-1, /length/5+6.
            fields = p[len("/length/"):].split("+")
            head = b"HTTP/1.0 200 OK\r\n" + b"".join(
                b"Content-Length: " + f.encode() + b"\r\n" for f in fields)
            self.raw(head + b"\r\nhello")
        elif p.startswith("/echo"):
            self.echo()
        else:
            self.reply(404, b"unknown")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
