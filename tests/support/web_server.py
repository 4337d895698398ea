#!/usr/bin/env python3
"""A small HTTP server on 127.0.0.1 for the web transfer tests and the demo.

It serves and stores files in one folder (--root) and records every request
it gets, one line each, in <root>/requests.log:
    METHOD PATH cookie=<Cookie header>

Paths:
  GET  /files/NAME           the file NAME from the root
  GET  /redirect/NAME        302 to /files/NAME
  GET  /loop                 302 to itself, for ever
  GET  /cut/NAME             announces the whole of NAME, sends half, hangs up
  GET  /silent               reads the request and never answers
  GET  /trickle              announces a megabyte, sends a byte every 50 ms
  ANY  /to/CODE?URL          answers CODE with Location: URL (after any body)
  ANY  /status/CODE          answers CODE (after reading any body)
  POST /upload/NAME          multipart/form-data: the file part is stored as
                             NAME, the other fields as NAME.fields (name=value
                             lines); answers 200 "received N bytes"
  PUT  /upload/NAME          the body is stored as NAME; answers 201
Upload names may repeat: the last one wins. SIGTERM stops the server.
"""
import argparse
import email.parser
import email.policy
import os
import signal
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ROOT = "."
LOG_LOCK = threading.Lock()
CHUNK = 1 << 16


def safe_name(name):
    name = os.path.basename(name)
    if not name or name.startswith("."):
        raise ValueError("bad name")
    return os.path.join(ROOT, name)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def record(self):
        with LOG_LOCK, open(os.path.join(ROOT, "requests.log"), "a", encoding="utf-8") as f:
            f.write("%s %s cookie=%s\n" % (self.command, self.path, self.headers.get("Cookie", "")))

    def answer(self, code, text, extra=None):
        body = text.encode("utf-8")
        self.send_response(code)
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def body_to(self, out):
        left = int(self.headers.get("Content-Length", "0") or 0)
        while left > 0:
            data = self.rfile.read(min(CHUNK, left))
            if not data:
                raise ConnectionError("body cut")
            if out:
                out.write(data)
            left -= len(data)

    def send_file(self, path, limit=None):
        size = os.path.getsize(path)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        sent = 0
        with open(path, "rb") as f:
            while True:
                want = CHUNK if limit is None else min(CHUNK, limit - sent)
                data = f.read(want) if want > 0 else b""
                if not data:
                    break
                self.wfile.write(data)
                sent += len(data)
        if limit is not None:
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(2)

    def route(self):
        self.record()
        parts = self.path.split("?", 1)[0].strip("/").split("/", 1)
        kind, arg = parts[0], (parts[1] if len(parts) > 1 else "")
        if kind == "status":
            self.body_to(None)
            self.answer(int(arg), "status %s" % arg)
        elif kind == "loop":
            self.answer(302, "again", {"Location": "/loop"})
        elif kind == "redirect":
            self.answer(302, "moved", {"Location": "/files/" + arg})
        elif kind == "to":
            self.body_to(None)
            self.answer(int(arg), "moved", {"Location": self.path.split("?", 1)[1]})
        elif kind == "trickle":
            self.send_response(200)
            self.send_header("Content-Length", str(1 << 20))
            self.end_headers()
            for _ in range(1 << 20):
                self.wfile.write(b"x")
                self.wfile.flush()
                time.sleep(0.05)
        elif kind == "silent":
            self.body_to(None)
            time.sleep(600)
        elif kind == "files" and self.command == "GET":
            path = safe_name(arg)
            if not os.path.isfile(path):
                self.answer(404, "not found")
            else:
                self.send_file(path)
        elif kind == "cut" and self.command == "GET":
            path = safe_name(arg)
            self.send_file(path, os.path.getsize(path) // 2)
        elif kind == "upload" and self.command == "PUT":
            with open(safe_name(arg), "wb") as f:
                self.body_to(f)
            self.answer(201, "stored %d bytes" % os.path.getsize(safe_name(arg)))
        elif kind == "upload" and self.command == "POST":
            self.store_multipart(safe_name(arg))
        else:
            self.answer(404, "not found")

    def store_multipart(self, path):
        # Spooled to disk first: documents may be large.
        spool = path + ".multipart"
        with open(spool, "wb") as f:
            f.write(b"Content-Type: " + self.headers.get("Content-Type", "").encode() + b"\r\n\r\n")
            self.body_to(f)
        with open(spool, "rb") as f:
            msg = email.parser.BytesParser(policy=email.policy.HTTP).parse(f)
        os.remove(spool)
        fields, stored = [], None
        for part in msg.iter_parts():
            name = part.get_param("name", header="content-disposition")
            data = part.get_payload(decode=True) or b""
            if part.get_param("filename", header="content-disposition") is not None:
                with open(path, "wb") as out:
                    out.write(data)
                stored = (name, part.get_param("filename", header="content-disposition"), len(data))
            else:
                fields.append("%s=%s" % (name, data.decode("utf-8")))
        if stored:
            fields.append("[file] %s=%s" % (stored[0], stored[1]))
        with open(path + ".fields", "w", encoding="utf-8") as f:
            f.write("\n".join(fields) + "\n")
        self.answer(200 if stored else 400, "received %d bytes" % (stored[2] if stored else 0))

    def do_GET(self):
        self.safely(self.route)

    do_POST = do_PUT = do_HEAD = do_DELETE = do_GET

    def safely(self, fn):
        try:
            fn()
        except (ConnectionError, BrokenPipeError, OSError):
            self.close_connection = True
        except ValueError:
            self.answer(400, "bad request")


def main():
    global ROOT
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file")
    args = ap.parse_args()
    ROOT = os.path.abspath(args.root)
    os.makedirs(ROOT, exist_ok=True)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(str(server.server_address[1]))
        os.replace(tmp, args.port_file)

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    server.serve_forever()


if __name__ == "__main__":
    main()
