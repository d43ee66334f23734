"""What the web console's tests share: `tessaro serve` on the simulated shelf,
on 127.0.0.1 and a port it picks itself, and requests to it.

TESSARO_CLI names the tessaro binary, TESSARO_SOURCE_DIR the source tree,
TESSARO_WEB_OUT the folder for screenshots and scratch files.
"""
import http.client
import json
import os
import re
import signal
import subprocess
import tempfile
import time

CLI = os.environ.get("TESSARO_CLI", "tessaro")
SOURCE = os.environ.get("TESSARO_SOURCE_DIR", ".")
OUT = os.environ.get("TESSARO_WEB_OUT", tempfile.gettempdir())
TIMEOUT = 30  # seconds any one process or request may take


def shelf_tags():
    """The sample shelf's Gen2 tags, each as a dict of its key=value fields."""
    tags = []
    with open(os.path.join(SOURCE, "sim/populations/shelf.tags")) as shelf:
        for line in shelf:
            if line.startswith("gen2 "):
                tags.append(dict(f.split("=", 1) for f in line.split()[1:] if "=" in f))
    return tags


def shelf_epcs():
    """The EPCs of the sample shelf's Gen2 tags."""
    return {tag["epc"] for tag in shelf_tags()}


def strongest(condition):
    """The EPC of the shelf tag that fulfils `condition` and is read strongest."""
    return max((t for t in shelf_tags() if condition(t)), key=lambda t: int(t.get("rssi", "-99")))["epc"]


def wait_until(condition, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    return None


class Serve:
    """`tessaro --sim serve` with its own journal folder, stopped by stop()."""

    def __init__(self, *extra, sim=True, address="127.0.0.1:0"):
        self.folder = tempfile.mkdtemp(prefix="tessaro-web-", dir=OUT)
        self.out = open(os.path.join(self.folder, "stdout"), "w+")
        self.err = open(os.path.join(self.folder, "stderr"), "w+")
        command = [CLI] + (["--sim"] if sim else []) + [
            "serve", "--http", address, "--journal", os.path.join(self.folder, "journal"),
            "--seconds", "600"] + list(extra)
        env = dict(os.environ, TMPDIR=self.folder)
        self.process = subprocess.Popen(command, stdout=self.out, stderr=self.err, env=env)
        found = wait_until(self._url, TIMEOUT)
        if not found:
            self.stop()
            raise RuntimeError("tessaro serve printed no URL: " + self.stderr())
        self.url = found
        match = re.match(r"(https?)://([^/]+):(\d+)/\?token=(\S+)", self.url)
        self.scheme, self.host, self.port, self.token = (
            match.group(1), match.group(2), int(match.group(3)), match.group(4))
        self.base = "%s://%s:%d" % (self.scheme, self.host, self.port)

    def _url(self):
        self.out.seek(0)
        found = re.search(r"Web console: (\S+)", self.out.read())
        return found.group(1) if found else None

    def stderr(self):
        self.err.seek(0)
        return self.err.read()

    def stdout(self):
        self.out.seek(0)
        return self.out.read()

    def stop(self):
        """Ends the run as Ctrl-C does; returns its exit code."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode

    def connection(self, context=None):
        if self.scheme == "https":
            return http.client.HTTPSConnection("127.0.0.1", self.port, timeout=TIMEOUT, context=context)
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=TIMEOUT)

    def request(self, method, path, body=None, token=True, headers=None, raw=None, context=None):
        """(status, headers, JSON or text). `token`: True for the right one, a
        string for that one, False for none. `raw`: a body sent as is."""
        sent = {"Host": "127.0.0.1:%d" % self.port}
        if token:
            sent["Authorization"] = "Bearer " + (self.token if token is True else token)
        data = raw
        if body is not None:
            data = json.dumps(body)
            sent["Content-Type"] = "application/json"
        sent.update(headers or {})
        connection = self.connection(context)
        try:
            connection.request(method, path, body=data, headers=sent)
            response = connection.getresponse()
            text = response.read().decode()
        finally:
            connection.close()
        kind = response.getheader("Content-Type", "")
        return response.status, response, json.loads(text) if kind.startswith("application/json") else text
