#!/usr/bin/env python3
"""HTTPS for the Windows tests under Wine, which have no TLS server of their own.

    tls_relay.py start FOLDER   makes two certificates for localhost, listens on two free ports
                                of 127.0.0.1 and goes to the background; writes FOLDER/ports
                                ("<trusted port> <untrusted port>"), trusted.pem, untrusted.pem
                                and pid, and returns once both ports listen
    tls_relay.py stop FOLDER    ends the relay that FOLDER/pid names

Each connection's TLS ends here. Its first request names the plain test server it is for in its
first path segment, "/@<port>" (HttpServer puts it in its https address and takes it off again);
from then on the bytes pass both ways unchanged to 127.0.0.1:<port>, and to nowhere else. The
certificates name localhost alone: Wine's WinINet does not match an IP address in a certificate.
A test trusts trusted.pem; untrusted.pem is for the test that a certificate is checked.
"""
import os
import re
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

LIFETIME_S = 3600  # a relay whose stop never came ends by itself
ROUTE = re.compile(rb"^[A-Z]+ /@(\d+)")


def make_certificate(folder, name):
    key = os.path.join(folder, name + ".key")
    pem = os.path.join(folder, name + ".pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-keyout", key, "-out", pem, "-days", "2", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(pem, key)
    return context


def listen():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    return listener


def pass_bytes(source, target):
    try:
        while True:
            chunk = source.recv(65536)
            if not chunk:
                break
            target.sendall(chunk)
    except OSError:
        pass
    for s in (source, target):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def relay(client, context):
    try:
        client.settimeout(10)
        secure = context.wrap_socket(client, server_side=True)
        first = b""
        while b"\r\n" not in first and len(first) < 65536:
            more = secure.recv(65536)
            if not more:
                return
            first += more
        route = ROUTE.match(first)
        if not route:
            secure.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        upstream = socket.create_connection(("127.0.0.1", int(route.group(1))), timeout=10)
        secure.settimeout(None)
        upstream.settimeout(None)
        upstream.sendall(first)
        back = threading.Thread(target=pass_bytes, args=(upstream, secure), daemon=True)
        back.start()
        pass_bytes(secure, upstream)
        back.join()
        upstream.close()
    except (OSError, ssl.SSLError):
        pass  # an untrusting client ends the handshake; a test server that went away
    finally:
        client.close()


def serve(listener, context):
    while True:
        client, _ = listener.accept()
        threading.Thread(target=relay, args=(client, context), daemon=True).start()


def start(folder):
    os.makedirs(folder, exist_ok=True)
    stop(folder)
    servers = [(listen(), make_certificate(folder, name)) for name in ("trusted", "untrusted")]
    if os.fork() != 0:
        # The parent returns to ctest once the child has written the pid: the ports listen already.
        pid_file = os.path.join(folder, "pid")
        for _ in range(100):
            if os.path.exists(pid_file):
                return 0
            time.sleep(0.05)
        return 1
    os.setsid()
    log = os.open(os.path.join(folder, "relay.log"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    null = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null, 0)
    os.dup2(log, 1)
    os.dup2(log, 2)
    with open(os.path.join(folder, "ports"), "w") as ports:
        ports.write(" ".join(str(listener.getsockname()[1]) for listener, _ in servers) + "\n")
    for listener, context in servers:
        threading.Thread(target=serve, args=(listener, context), daemon=True).start()
    with open(os.path.join(folder, "pid.tmp"), "w") as pid:
        pid.write(str(os.getpid()))
    os.rename(os.path.join(folder, "pid.tmp"), os.path.join(folder, "pid"))
    time.sleep(LIFETIME_S)
    os._exit(0)


def stop(folder):
    pid_file = os.path.join(folder, "pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read())
        # Only the relay this folder started: a pid left from a relay gone long ago may name
        # another process by now.
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            command = f.read().split(b"\0")
        if os.path.basename(__file__).encode() in b" ".join(command) and folder.encode() in command:
            os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError):
        pass
    for name in ("pid", "ports"):
        try:
            os.remove(os.path.join(folder, name))
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        sys.exit(__doc__)
    sys.exit(start(sys.argv[2]) if sys.argv[1] == "start" else stop(sys.argv[2]))
