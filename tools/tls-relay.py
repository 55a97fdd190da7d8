#!/usr/bin/env python3
"""TLS in front of the Windows tests' plain HTTP servers.

The Windows test suite runs under Wine, whose Schannel has a client side only, so the tests'
HTTPS servers cannot run their TLS sessions themselves. This relay, on the Linux side, runs
them instead: a test connects to the control port printed on the first line of output and
sends "NAME SERVER_PORT\\n"; the relay answers "FRONT_PORT\\n" and from then on accepts TLS
connections on the front port with the certificate NAME.pem and key NAME.key of the given
folder, and joins each to a new plain connection to 127.0.0.1:SERVER_PORT. When either side of
a pair ends, the other is closed. The front closes when its control connection does.

    tools/tls-relay.py CERTIFICATE_FOLDER COMMAND [ARGUMENT...]

runs COMMAND with the control port in QUILLBOX_TLS_RELAY_PORT, serves while it runs, and
exits with its status.
"""
import os
import select
import socket
import subprocess
import ssl
import sys
import threading


def close_both(first, second):
    for end in (first, second):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def secure_to_plain(secure, plain, lock):
    try:
        while True:
            if not secure.pending():
                select.select([secure], [], [], 0.5)
            with lock:
                try:
                    data = secure.recv(65536)
                except (ssl.SSLWantReadError, ssl.SSLWantWriteError):
                    continue
            if not data:
                break
            plain.sendall(data)
    except OSError:
        pass
    close_both(secure, plain)


def plain_to_secure(plain, secure, lock):
    try:
        while True:
            data = memoryview(plain.recv(65536))
            if not data:
                break
            while data:
                with lock:
                    try:
                        sent = secure.send(data)
                    except (ssl.SSLWantReadError, ssl.SSLWantWriteError):
                        sent = 0
                if sent:
                    data = data[sent:]
                else:
                    select.select([], [secure], [], 0.5)
    except OSError:
        pass
    close_both(plain, secure)


def relay(context, client, server_port):
    try:
        secure = context.wrap_socket(client, server_side=True)
    except (OSError, ssl.SSLError):
        client.close()
        return
    try:
        plain = socket.create_connection(("127.0.0.1", server_port))
    except OSError:
        secure.close()
        return
    # One TLS session must not be read on one thread while another writes it: the session
    # is non-blocking, every call on it is made under one lock, and the waits for it to be
    # readable or writable happen outside the lock.
    secure.setblocking(False)
    lock = threading.Lock()
    backward = threading.Thread(target=plain_to_secure, args=(plain, secure, lock), daemon=True)
    backward.start()
    secure_to_plain(secure, plain, lock)
    backward.join()
    secure.close()
    plain.close()


def serve_front(control, folder):
    request = control.makefile("r").readline().split()
    if len(request) != 2 or "/" in request[0] or not request[1].isdigit():
        control.close()
        return
    name, server_port = request[0], int(request[1])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    front = socket.socket()
    front.bind(("127.0.0.1", 0))
    front.listen(128)
    control.sendall(b"%d\n" % front.getsockname()[1])

    def accept_loop():
        while True:
            try:
                client, _ = front.accept()
            except OSError:
                return
            threading.Thread(target=relay, args=(context, client, server_port), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    # The front lives as long as the control connection.
    try:
        while control.recv(1):
            pass
    except OSError:
        pass
    front.shutdown(socket.SHUT_RDWR)
    front.close()
    control.close()


def main():
    folder, command = sys.argv[1], sys.argv[2:]
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(128)

    def accept_loop():
        while True:
            control, _ = listener.accept()
            threading.Thread(target=serve_front, args=(control, folder), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    environment = dict(os.environ, QUILLBOX_TLS_RELAY_PORT=str(listener.getsockname()[1]))
    sys.exit(subprocess.call(command, env=environment))


if __name__ == "__main__":
    main()
