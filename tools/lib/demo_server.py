#!/usr/bin/env python3
"""The demo's loopback update server.

    demo_server.py PORT_FILE PARENT_PID

The tests' HTTP server (its port in HTTP_TEST_SERVER_PORT), which serves the
package and the other files below "files" and records every request, and
which here also takes the installer's statistics at the update server's
"/netinstaller/feedback" as that server does: 200 with a short body. Exits
with status 3, printing nothing, when the port is taken: the demo says what
holds it.
"""

import errno
import os
import sys
import urllib.parse

sys.path.insert(0, os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "desktop",
    "launcher", "installer", "wininet", "test"))
import http_test_server  # noqa: E402

FEEDBACK_PATH = "/netinstaller/feedback"
PORT_TAKEN = 3


class Handler(http_test_server.Handler):
    def send_simple(self, code, body):
        # The tests' server knows no statistics endpoint and answers it 404,
        # which the installer logs as a failed upload.
        if urllib.parse.urlsplit(self.path).path == FEEDBACK_PATH:
            code, body = 200, b"OK"
        super().send_simple(code, body)


def main():
    # The tests' server is made with its module's handler.
    http_test_server.Handler = Handler
    try:
        http_test_server.main()
    except OSError as error:
        if error.errno != errno.EADDRINUSE:
            raise
        sys.exit(PORT_TAKEN)


if __name__ == "__main__":
    main()
