#!/usr/bin/env python3
# http_client_peer.py --
#
#     The web server the HTTP client's tests talk to: http.server on
#     127.0.0.1 at two free ports, which it prints on its first line (the
#     second port serves the same paths, as another origin to redirect
#     to). Each path gives one kind of reply; "/echo" sends back what it
#     was sent; "/cut/..." close before the body's end; "/keep/..." send
#     a whole body and keep the connection open until the peer ends. It
#     ends when its standard input closes.

import http.server
import socketserver
import sys
import threading

# Set when the peer ends: lets go of the connections "/keep/..." hold.
stopping = threading.Event()
ports = []


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

    def hold(self):
        stopping.wait()

    def do_HEAD(self):
        if self.path == "/keep/length":
            # The length GET would send, no body, and the connection held.
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n")
            self.hold()
            return
        self.reply(200, b"", [("X-Peer", "head"),
                              ("X-Content-Length", self.headers.get("Content-Length", "none"))])

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
        elif p == "/cut/length":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")
        elif p == "/cut/chunk":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"5\r\nhello\r\nA\r\n0123")
        elif p == "/cut/between":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")
        elif p == "/cut/trailer":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n")
        elif p == "/keep/length":
            # Bytes after the body are not part of it.
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA")
            self.hold()
        elif p == "/keep/chunked":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"5\r\nhello\r\n0\r\n\r\n")
            self.hold()
        elif p == "/keep/empty":
            self.raw(b"HTTP/1.1 204 No Content\r\n\r\n")
            self.hold()
        elif p == "/keep/zero":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
            self.hold()
        elif p == "/redirect":
            # To the same resource at the other port.
            other = ports[1] if self.server.server_address[1] == ports[0] else ports[0]
            self.reply(302, b"moved", [("Location", "http://127.0.0.1:%d/echo" % other),
                                       ("Content-Type", "text/plain")])
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
    servers = [Server(("127.0.0.1", 0), Handler) for _ in range(2)]
    ports.extend(server.server_address[1] for server in servers)
    print(ports[0], ports[1], flush=True)
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    stopping.set()
    for server in servers:
        server.shutdown()


if __name__ == "__main__":
    main()
