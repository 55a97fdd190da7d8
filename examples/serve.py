#!/usr/bin/env python3
"""Serves a folder over HTTP on 127.0.0.1, for trying QUILLBOX without the Internet.

    python3 examples/serve.py [PORT] [--directory FOLDER]

PORT is 8000 and FOLDER the folder of this script unless given. Ctrl+C stops it.

QUILLBOX opens one connection per feed of a list, all at the same moment. Python's
"python3 -m http.server" lets only 5 connections wait to be accepted; the system drops the
others' first attempts, and their retries come seconds later, so with a list of many feeds
on one such server some feeds miss the 45 seconds a mail check waits. This server answers
every request on a thread of its own and lets up to 256 connections wait.
"""

import argparse
import functools
import http.server
import os


class Server(http.server.ThreadingHTTPServer):
    request_queue_size = 256


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", nargs="?", type=int, default=8000)
    parser.add_argument("--directory", default=os.path.dirname(os.path.abspath(__file__)))
    arguments = parser.parse_args()
    handler = functools.partial(http.server.SimpleHTTPRequestHandler,
                                directory=arguments.directory)
    with Server(("127.0.0.1", arguments.port), handler) as server:
        print(f"serving {arguments.directory} at http://127.0.0.1:{arguments.port}/ (Ctrl+C stops)",
              flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
