#!/usr/bin/env python3
"""A message server for tests, on 127.0.0.1.

Speaks the message protocol in the query of HTTP GET requests to any path
but /control: c=<command> and, after the login, k=<session key>.

  CHAL                  +OK C<n>        a new challenge
  OPEN <user> <digest>  +OK K<n>        digest = md5(challenge + password), hex;
                                        any challenge given out and not yet used
  STAT                  +OK <count>
  RETR <first> <count>  +OK, the messages one a line, "."
  DELE <first> <count>  +OK
  QUIT                  +OK             the key is dropped

A session command with an unknown or expired key is answered
"-ERR 401 C<n>" with a new challenge. Challenges and keys are numbered from 1
in the order given, so tests can predict every request.

Prints "PORT <n>" on its first line once it listens. With --exit-on-stdin-eof
it exits when its standard input closes (so it dies with the test that
started it).

Control, GET /control?op=<op>&...; every value percent-encoded bytes:
  reset                          forget everything (messages, log, keys, faults)
  user&name=&password=           the one account (default "user" / "password")
  add&message=                   a waiting message (bytes, no line feed)
  messages                       the waiting messages, one a line
  log                            every protocol request received, in order, one a
                                 line: target TAB User-Agent TAB Pragma TAB
                                 Cache-Control
  clearlog
  expire                         every session key given out so far expires
  fault&cmd=&action=&arg=&times=1&skip=0
      for requests whose command keyword is cmd ("*" for any): let `skip`
      pass, then misbehave `times` times:
        status  <code>   answer with that HTTP status
        body    <bytes>  answer 200 with exactly these bytes
        truncate <n>     the true answer cut to n bytes, as a complete body
        cut     <n>      declare the true length, send n bytes, close
        slow    <secs>   answer after so many seconds
        drop             close without answering
        reset            reset the connection without answering
        expire           expire every key, then answer
        redirect         302 to the same URL
        flood   <n>      answer "+OK 1" and n more bytes, its end told only by
                         closing (no Content-Length)
        bloat   <n>      as flood, with the Content-Length declared
        drip    <n>      declare a Content-Length of n bytes, then send one
                         byte every half second
"""

import argparse
import hashlib
import os
import socket
import struct
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def parse_query(query):
    values = {}
    for part in query.split("&"):
        if not part:
            continue
        name, _, value = part.partition("=")
        # "+" is a blank; a literal plus arrives as %2B.
        values[name] = urllib.parse.unquote_to_bytes(value.replace("+", " "))
    return values


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.user = b"user"
        self.password = b"password"
        self.messages = []
        self.log = []
        self.faults = []
        self.challenges = set()
        self.keys = set()
        self.challenge_count = 0
        self.key_count = 0

    def new_challenge(self):
        self.challenge_count += 1
        challenge = b"C%d" % self.challenge_count
        self.challenges.add(challenge)
        return challenge

    def take_fault(self, keyword):
        for fault in self.faults:
            if fault["times"] <= 0 or fault["cmd"] not in (b"*", keyword):
                continue
            if fault["skip"] > 0:
                fault["skip"] -= 1
                continue
            fault["times"] -= 1
            return fault
        return None

    def answer(self, command, key):
        """The protocol answer to one command, as bytes."""
        words = command.split(b" ")
        keyword = words[0]
        if keyword == b"CHAL":
            return b"+OK " + self.new_challenge() + b"\n"
        if keyword == b"OPEN":
            # The user name runs up to the last blank: it may hold blanks.
            user, _, given = command[len(b"OPEN "):].rpartition(b" ")
            if not command.startswith(b"OPEN ") or user != self.user:
                return b"-ERR 403 denied\n"
            for challenge in sorted(self.challenges):
                digest = hashlib.md5(challenge + self.password).hexdigest().encode()
                if digest == given:
                    self.challenges.discard(challenge)
                    self.key_count += 1
                    session_key = b"K%d" % self.key_count
                    self.keys.add(session_key)
                    return b"+OK " + session_key + b"\n"
            return b"-ERR 403 denied\n"
        if keyword not in (b"STAT", b"RETR", b"DELE", b"QUIT"):
            return b"-ERR 400 unknown command\n"
        if key not in self.keys:
            return b"-ERR 401 " + self.new_challenge() + b"\n"
        if keyword == b"STAT":
            return b"+OK %d\n" % len(self.messages)
        if keyword == b"QUIT":
            self.keys.discard(key)
            return b"+OK bye\n"
        try:
            first, count = int(words[1]), int(words[2])
        except (IndexError, ValueError):
            return b"-ERR 400 bad arguments\n"
        if first < 1 or count < 0 or first - 1 + count > len(self.messages):
            return b"-ERR 400 no such messages\n"
        chosen = self.messages[first - 1:first - 1 + count]
        if keyword == b"RETR":
            return b"+OK %d\n" % count + b"".join(m + b"\n" for m in chosen) + b".\n"
        del self.messages[first - 1:first - 1 + count]
        return b"+OK deleted\n"


STATE = State()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def send_body(self, status, body, declared=None, extra_headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body) if declared is None else declared))
        for name, value in extra_headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path, _, query = self.path.partition("?")
        if path == "/control":
            self.control(parse_query(query))
        else:
            self.protocol(query)

    def control(self, values):
        op = values.get("op", b"").decode()
        reply = b""
        with STATE.lock:
            if op == "reset":
                STATE.reset()
            elif op == "user":
                STATE.user = values.get("name", b"")
                STATE.password = values.get("password", b"")
            elif op == "add":
                STATE.messages.append(values.get("message", b""))
            elif op == "messages":
                reply = b"".join(m + b"\n" for m in STATE.messages)
            elif op == "log":
                reply = b"".join(b"\t".join(entry) + b"\n" for entry in STATE.log)
            elif op == "clearlog":
                STATE.log = []
            elif op == "expire":
                STATE.keys.clear()
            elif op == "fault":
                STATE.faults.append({
                    "cmd": values.get("cmd", b"*"),
                    "action": values.get("action", b"").decode(),
                    "arg": values.get("arg", b""),
                    "times": int(values.get("times", b"1")),
                    "skip": int(values.get("skip", b"0")),
                })
            else:
                self.send_body(400, b"unknown op\n")
                return
        self.send_body(200, b"OK\n" + reply)

    def flood(self, size, declared):
        head = b"+OK 1\n"
        self.send_response(200)
        if declared:
            self.send_header("Content-Length", str(len(head) + size))
        self.end_headers()
        self.close_connection = True
        self.wfile.write(head)
        chunk = b"x" * 65536
        # The client may give up early; a broken pipe ends the answer.
        while size > 0:
            self.wfile.write(chunk[:size])
            size -= len(chunk)

    def drip(self, size):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.close_connection = True
        # A client that gives up ends this with a broken pipe.
        for _ in range(size):
            self.wfile.write(b"x")
            time.sleep(0.5)

    def protocol(self, query):
        values = parse_query(query)
        command = values.get("c", b"")
        key = values.get("k", b"")
        keyword = command.split(b" ")[0]
        with STATE.lock:
            STATE.log.append((self.path.encode("latin-1"),
                              self.headers.get("User-Agent", "").encode("latin-1"),
                              self.headers.get("Pragma", "").encode("latin-1"),
                              self.headers.get("Cache-Control", "").encode("latin-1")))
            fault = STATE.take_fault(keyword)
        action = fault["action"] if fault else ""
        arg = fault["arg"] if fault else b""
        if action == "slow":
            time.sleep(float(arg))
        elif action == "status":
            self.send_body(int(arg), b"fault\n")
            return
        elif action == "body":
            self.send_body(200, arg)
            return
        elif action == "drop":
            self.close_connection = True
            return
        elif action == "reset":
            self.close_connection = True
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            os.close(self.connection.detach())
            return
        elif action in ("flood", "bloat"):
            self.flood(int(arg), declared=action == "bloat")
            return
        elif action == "drip":
            self.drip(int(arg))
            return
        elif action == "redirect":
            self.send_body(302, b"moved\n", extra_headers=[("Location", self.path)])
            return
        with STATE.lock:
            if action == "expire":
                STATE.keys.clear()
            body = STATE.answer(command, key)
        if action == "truncate":
            self.send_body(200, body[:int(arg)])
        elif action == "cut":
            self.send_body(200, body[:int(arg)], declared=len(body))
            self.wfile.flush()
            self.close_connection = True
        else:
            self.send_body(200, body)


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that gave up on a slow answer is expected here.
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--exit-on-stdin-eof", action="store_true")
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    if args.exit_on_stdin_eof:
        def watch():
            sys.stdin.buffer.read()
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
