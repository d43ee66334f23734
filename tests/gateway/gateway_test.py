"""tessaro gateway end to end: a real broker (Debian's mosquitto) on 127.0.0.1
and a free port, started and stopped here; the gateway reads the simulated
shelf; mosquitto_sub receives what it publishes.

Run by CTest: TESSARO_CLI names the tessaro binary, TESSARO_SOURCE_DIR the
source tree.
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import jsonschema

CLI = os.environ.get("TESSARO_CLI", "tessaro")
SOURCE = os.environ.get("TESSARO_SOURCE_DIR", ".")
MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
SCHEMA = json.load(open(os.path.join(SOURCE, "docs/schemas/tag-event.json")))
EVENT = jsonschema.Draft202012Validator(SCHEMA)
STATUS = jsonschema.Draft202012Validator(SCHEMA["$defs"]["readerStatus"])
TIMEOUT = 30  # seconds any one process may take


def shelf_epcs():
    epcs = set()
    with open(os.path.join(SOURCE, "sim/populations/shelf.tags")) as shelf:
        for line in shelf:
            if line.startswith("gen2 "):
                epcs.update(f[4:] for f in line.split() if f.startswith("epc="))
    return epcs


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


class Broker:
    """mosquitto on 127.0.0.1 with the given extra configuration lines."""

    def __init__(self, folder, extra=(), port=None):
        self.folder = folder
        self.port = port or free_port()
        self.config = os.path.join(folder, "mosquitto.conf")
        with open(self.config, "w") as config:
            config.write("listener %d 127.0.0.1\n" % self.port)
            if os.geteuid() == 0:  # else mosquitto becomes "mosquitto" and cannot read our files
                config.write("user root\n")
            config.write("persistence true\npersistence_location %s/\n" % folder)
            config.write("\n".join(extra) + "\n")
            if not any(line.startswith(("password_file", "require_certificate")) for line in extra):
                config.write("allow_anonymous true\n")
        self.process = None

    def start(self):
        self.log = open(os.path.join(self.folder, "broker.log"), "a")
        self.process = subprocess.Popen([MOSQUITTO, "-c", self.config],
                                        stdout=self.log, stderr=subprocess.STDOUT)

        def listening():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return True
            except OSError:
                return False
        if not wait_until(listening):
            raise RuntimeError("the broker did not start: " + open(self.log.name).read())

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(TIMEOUT)
        self.process = None
        if hasattr(self, "log"):
            self.log.close()


class Subscriber:
    """mosquitto_sub printing topic and payload, one message a line."""

    def __init__(self, folder, broker, topic="tessaro/#", extra=(), client_id=None):
        self.path = os.path.join(folder, "received-%s.txt" % (client_id or "anon"))
        command = ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-t", topic,
                   "-v", "-q", "1"] + list(extra)
        if client_id:  # a persistent session: the broker keeps what comes while it is away
            command += ["-c", "-i", client_id]
        self.out = open(self.path, "w")
        self.process = subprocess.Popen(command, stdout=self.out, stderr=subprocess.DEVNULL)
        # Subscribed once a probe published after the start comes back.
        probe = ["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port), "-t",
                 "tessaro/probe", "-m", "{}"] + list(extra)
        if not wait_until(lambda: subprocess.run(probe, timeout=TIMEOUT).returncode == 0 and
                          any(t == "tessaro/probe" for t, _ in self.messages())):
            raise RuntimeError("the subscriber did not subscribe")

    def messages(self):
        found = []
        with open(self.path) as received:
            for line in received:
                if " " in line:
                    topic, payload = line.rstrip("\n").split(" ", 1)
                    found.append((topic, json.loads(payload)))
        return found

    def events(self):
        return [p for t, p in self.messages() if t.endswith("/tags")]

    def stop(self):
        self.process.terminate()
        self.process.wait(TIMEOUT)
        self.out.close()


def gateway(*arguments, env=None, journal=None):
    """Runs tessaro --sim --json gateway ARGUMENTS with a journal folder of its
    own (a new one unless given); returns (code, summaries, stderr)."""
    journal = journal or tempfile.mkdtemp(prefix="tessaro-journal-")
    done = subprocess.run([CLI, "--sim", "--json", "gateway", "--journal", journal] + list(arguments),
                          capture_output=True, text=True, timeout=TIMEOUT, env=env)
    summaries = [json.loads(line) for line in done.stdout.splitlines() if line.startswith("{")]
    return done.returncode, summaries, done.stderr


def in_order_without_repeats(events):
    """The sequence numbers in the order they came, repeats of a number seen
    before left out (QoS 1 may deliver a message twice after a reconnect)."""
    seen, order = set(), []
    for event in events:
        if event["seq"] not in seen:
            seen.add(event["seq"])
            order.append(event["seq"])
    return order


class GatewayTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tessaro-gateway-")
        self.broker = Broker(self.folder)
        self.subscribers = []

    def tearDown(self):
        for subscriber in self.subscribers:
            subscriber.stop()
        self.broker.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def subscribe(self, **options):
        subscriber = Subscriber(self.folder, self.broker, **options)
        self.subscribers.append(subscriber)
        return subscriber

    def assert_all_arrived(self, subscriber, summary):
        total = summary["events"]
        self.assertTrue(wait_until(lambda: len(set(e["seq"] for e in subscriber.events())) >= total),
                        "%d of %d events arrived" % (len(subscriber.events()), total))
        events = subscriber.events()
        for event in events:
            EVENT.validate(event)
        self.assertEqual(in_order_without_repeats(events), list(range(1, total + 1)))
        return events

    def test_every_event_arrives_valid_and_in_order(self):
        self.broker.start()
        subscriber = self.subscribe()
        code, summaries, errors = gateway("--broker", "mqtt://127.0.0.1:%d" % self.broker.port,
                                          "--rounds", "3", "--presence", "--client-id", "t1")
        self.assertEqual(code, 0, errors)
        self.assertEqual(len(summaries), 1)
        summary = summaries[0]
        self.assertEqual(summary["delivered"], summary["events"])
        events = self.assert_all_arrived(subscriber, summary)
        reader = summary["reader"]
        self.assertTrue(all(e["reader"] == reader for e in events))
        tags = [e for e in events if e["type"] == "tag"]
        self.assertEqual({e["epc"] for e in tags}, shelf_epcs())
        self.assertEqual({e["epc"] for e in events if e["type"] == "arrived"}, shelf_epcs())
        # The retained status says the gateway has gone.
        self.assertTrue(wait_until(lambda: any(t.endswith("/status") and p["state"] == "offline"
                                               for t, p in subscriber.messages())))
        retained = subprocess.run(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.broker.port), "-t",
             "tessaro/%s/status" % reader, "-C", "1", "-W", "5"],
            capture_output=True, text=True, timeout=TIMEOUT)
        status = json.loads(retained.stdout)
        STATUS.validate(status)
        self.assertEqual(status["state"], "offline")

    def test_broker_restart_loses_and_reorders_nothing(self):
        self.broker.start()
        subscriber = self.subscribe(client_id="restart-check")
        journal = os.path.join(self.folder, "journal")
        run = subprocess.Popen(
            [CLI, "--sim", "--json", "gateway", "--broker", "mqtt://127.0.0.1:%d" % self.broker.port,
             "--seconds", "6", "--journal", journal, "--client-id", "t2"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        time.sleep(1.5)
        self.broker.stop()
        time.sleep(2)  # the gateway reads on: its events wait in the journal
        self.broker.start()
        out, errors = run.communicate(timeout=TIMEOUT)
        self.assertEqual(run.returncode, 0, errors)
        summary = json.loads(out.splitlines()[-1])
        self.assertGreaterEqual(summary["reconnects"], 1)
        self.assertEqual(summary["dropped"], 0)
        self.assertEqual(summary["waiting"], 0)
        self.assertEqual(summary["delivered"], summary["events"])
        self.assert_all_arrived(subscriber, summary)

    def test_tls_with_certificates_made_here(self):
        make = lambda *args: subprocess.run(["openssl"] + list(args), cwd=self.folder, check=True,
                                            capture_output=True, timeout=TIMEOUT)
        make("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=test CA",
             "-keyout", "ca.key", "-out", "ca.crt")
        for name, extension in (("server", "subjectAltName=IP:127.0.0.1"),
                                ("client", "extendedKeyUsage=clientAuth")):
            make("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + name,
                 "-keyout", name + ".key", "-out", name + ".csr")
            with open(os.path.join(self.folder, name + ".ext"), "w") as ext:
                ext.write(extension + "\n")
            make("x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                 "-CAcreateserial", "-days", "1", "-extfile", name + ".ext", "-out", name + ".crt")
        path = lambda name: os.path.join(self.folder, name)
        self.broker = Broker(self.folder, [
            "cafile " + path("ca.crt"), "certfile " + path("server.crt"),
            "keyfile " + path("server.key"), "require_certificate true",
            "use_identity_as_username true", "allow_anonymous false"])
        self.broker.start()
        tls = ["--cafile", path("ca.crt"), "--cert", path("client.crt"), "--key", path("client.key")]
        subscriber = self.subscribe(extra=tls)
        code, summaries, errors = gateway("--broker", "mqtts://127.0.0.1:%d" % self.broker.port,
                                          "--rounds", "2", "--client-id", "t3", *tls)
        self.assertEqual(code, 0, errors)
        self.assert_all_arrived(subscriber, summaries[0])

    def test_wrong_password_ends_with_the_brokers_refusal(self):
        passwords = os.path.join(self.folder, "passwords")
        subprocess.run(["mosquitto_passwd", "-b", "-c", passwords, "reader", "right"], check=True,
                       timeout=TIMEOUT)
        self.broker = Broker(self.folder, ["password_file " + passwords, "allow_anonymous false"])
        self.broker.start()
        url = "mqtt://127.0.0.1:%d" % self.broker.port
        code, _, errors = gateway("--broker", url, "--username", "reader", "--password", "wrong",
                                  "--seconds", "20", "--client-id", "t4")
        self.assertEqual(code, 5, errors)
        self.assertIn("the broker refused the connection: Not authorized", errors)
        self.assertNotIn("cannot reach", errors)
        # The right one, from the environment, is taken.
        env = dict(os.environ, TESSARO_MQTT_PASSWORD="right")
        code, _, errors = gateway("--broker", url, "--username", "reader", "--rounds", "1",
                                  "--client-id", "t5", env=env)
        self.assertEqual(code, 0, errors)

    def test_bad_url_is_a_usage_error(self):
        code, _, errors = gateway("--broker", "http://127.0.0.1:1883")
        self.assertEqual(code, 2)
        self.assertIn("bad broker URL 'http://127.0.0.1:1883'", errors)


if __name__ == "__main__":
    unittest.main()
