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
                   "-t", "tessaro/probe", "-v", "-q", "1"] + list(extra)
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
                    try:
                        found.append((topic, json.loads(payload)))
                    except ValueError:  # retained states such as "ON" are plain words
                        found.append((topic, payload))
        return found

    def events(self):
        return [p for t, p in self.messages() if t.endswith("/tags")]

    def stop(self):
        self.process.terminate()
        self.process.wait(TIMEOUT)
        self.out.close()


def gateway(*arguments, env=None, journal=None):
    """Runs tessaro --sim --json gateway ARGUMENTS with the journal folder given
    (a new one of its own unless given); returns (code, summaries, stderr)."""
    scratch = None
    if journal is None:
        scratch = tempfile.mkdtemp(prefix="tessaro-journal-")
        journal = scratch
    try:
        done = subprocess.run([CLI, "--sim", "--json", "gateway", "--journal", journal] + list(arguments),
                              capture_output=True, text=True, timeout=TIMEOUT, env=env)
    finally:
        if scratch:
            shutil.rmtree(scratch, ignore_errors=True)
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
        path = self.make_certificates()
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


    def make_certificates(self):
        """A CA, a broker certificate for 127.0.0.1 and a client certificate,
        made here with openssl; returns a function from file name to path."""
        make = lambda *args: subprocess.run(["openssl"] + list(args), cwd=self.folder, check=True,
                                            capture_output=True, timeout=TIMEOUT)
        for ca in ("ca", "other-ca"):
            make("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=" + ca,
                 "-keyout", ca + ".key", "-out", ca + ".crt")
        for name, extension in (("server", "subjectAltName=IP:127.0.0.1"),
                                ("client", "extendedKeyUsage=clientAuth")):
            make("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + name,
                 "-keyout", name + ".key", "-out", name + ".csr")
            with open(os.path.join(self.folder, name + ".ext"), "w") as ext:
                ext.write(extension + "\n")
            make("x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                 "-CAcreateserial", "-days", "1", "-extfile", name + ".ext", "-out", name + ".crt")
        with open(os.path.join(self.folder, "garbage.pem"), "w") as garbage:
            garbage.write("-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n")
        return lambda name: os.path.join(self.folder, name)

    def test_invalid_values_end_at_start_before_any_connection(self):
        path = self.make_certificates()
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        listener.setblocking(False)
        port = listener.getsockname()[1]
        plain, tls = "mqtt://127.0.0.1:%d" % port, "mqtts://127.0.0.1:%d" % port
        not_a_folder = os.path.join(self.folder, "file")
        open(not_a_folder, "w").close()
        rows = [
            ([plain, "--topic", "a/#"], 2, "--topic 'a/#': a topic to publish to cannot hold the wildcards + or #"),
            ([plain, "--topic", ""], 2, "--topic '': a topic cannot be empty"),
            ([plain, "--status-topic", "s/+"], 2, "--status-topic 's/+'"),
            ([plain, "--client-id", b"gw\xff"], 2, "--client-id: the client id must be UTF-8 text"),
            ([plain, "--journal", os.path.join(not_a_folder, "j")], 2, "cannot make the journal folder"),
            ([plain, "--qos", "3"], 2, "--qos"),
            ([plain, "--journal-mb", "0"], 2, "--journal-mb"),
            ([plain, "--tags", path("ca.crt")], 2, "--tags names tags for --homeassistant"),
            ([plain, "--fsync", "sometimes"], 2, "--fsync"),
            ([tls, "--cafile", path("garbage.pem")], 5, "--cafile '%s' holds no usable CA certificate" % path("garbage.pem")),
            ([tls, "--cert", path("garbage.pem"), "--key", path("client.key")], 5, "--cert '%s' is not a usable certificate" % path("garbage.pem")),
            ([tls, "--cert", path("client.crt"), "--key", path("server.key")], 5,
             "--key '%s' does not match the certificate '%s'" % (path("server.key"), path("client.crt"))),
        ]
        try:
            for arguments, code, message in rows:
                with self.subTest(arguments=arguments):
                    arguments = ["--broker"] + arguments + ["--rounds", "1"]
                    if "--journal" not in arguments:
                        arguments += ["--journal", os.path.join(self.folder, "journal")]
                    done = subprocess.run([CLI.encode(), b"--sim", b"gateway"] +
                                          [a if isinstance(a, bytes) else a.encode() for a in arguments],
                                          capture_output=True, timeout=TIMEOUT)
                    errors = done.stderr.decode(errors="replace")
                    self.assertEqual(done.returncode, code, errors)
                    self.assertIn(message, errors)
                    with self.assertRaises(BlockingIOError, msg="the gateway connected"):
                        listener.accept()[0].close()
        finally:
            listener.close()

    def test_a_certificate_from_another_ca_ends_with_the_tls_failure(self):
        path = self.make_certificates()
        self.broker = Broker(self.folder, [
            "cafile " + path("ca.crt"), "certfile " + path("server.crt"),
            "keyfile " + path("server.key"), "require_certificate false"])
        self.broker.start()
        code, _, errors = gateway("--broker", "mqtts://127.0.0.1:%d" % self.broker.port,
                                  "--cafile", path("other-ca.crt"), "--seconds", "20")
        self.assertEqual(code, 5, errors)
        self.assertIn("the TLS handshake with the broker", errors)
        self.assertIn("--cafile", errors)

    def test_one_gateway_per_journal_folder(self):
        journal = os.path.join(self.folder, "journal")
        first = subprocess.Popen([CLI, "--sim", "gateway", "--journal", journal, "--seconds", "20", "--drain", "0",
                                  "--broker", "mqtt://127.0.0.1:1", "--client-id", "first"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        try:
            self.assertTrue(wait_until(lambda: os.path.exists(os.path.join(journal, "lock")) and
                                       open(os.path.join(journal, "lock")).read().strip() == str(first.pid)))
            code, _, errors = gateway("--broker", "mqtt://127.0.0.1:1", "--rounds", "1", journal=journal)
            self.assertEqual(code, 2, errors)
            self.assertIn("the journal folder '%s' is in use by another process (PID %d)" % (journal, first.pid),
                          errors)
        finally:
            first.terminate()
            first.communicate(timeout=TIMEOUT)

    def test_two_gateways_with_one_client_id_are_told_so(self):
        self.broker.start()
        url = "mqtt://127.0.0.1:%d" % self.broker.port
        first = subprocess.Popen([CLI, "--sim", "gateway", "--journal", os.path.join(self.folder, "j1"),
                                  "--broker", url, "--client-id", "same", "--seconds", "15"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        time.sleep(1)
        second = subprocess.Popen([CLI, "--sim", "gateway", "--journal", os.path.join(self.folder, "j2"),
                                   "--broker", url, "--client-id", "same", "--seconds", "15"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        # One of them gives up, naming the reason; the other goes on.
        finished = None
        deadline = time.monotonic() + TIMEOUT
        while finished is None and time.monotonic() < deadline:
            finished = next((p for p in (first, second) if p.poll() is not None), None)
            time.sleep(0.1)
        for process in (first, second):
            if process is not finished:
                process.terminate()
        outputs = {p: p.communicate(timeout=TIMEOUT)[1] for p in (first, second)}
        self.assertIsNotNone(finished)
        self.assertEqual(finished.returncode, 5, outputs[finished])
        self.assertIn("another client connected with the same client id 'same-", outputs[finished])

    def test_home_assistant_discovery(self):
        self.broker.start()
        shelf = sorted(shelf_epcs())[:2]
        names = os.path.join(self.folder, "tags.txt")
        with open(names, "w") as file:
            file.write("# what Home Assistant calls them\n%s Espresso\n%s Green tea\n" % tuple(shelf))
        discovery = self.subscribe(topic="homeassistant/#")
        run = subprocess.Popen(
            [CLI, "--sim", "--json", "gateway", "--journal", os.path.join(self.folder, "journal"),
             "--broker", "mqtt://127.0.0.1:%d" % self.broker.port, "--homeassistant", "--tags", names,
             "--seconds", "4", "--client-id", "ha"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        configs = lambda: [(t, p) for t, p in discovery.messages() if t.endswith("/config")]
        self.assertTrue(wait_until(lambda: len(configs()) >= 4), discovery.messages())
        reader = configs()[0][1]["device"]["identifiers"][0][len("tessaro_"):]
        by_topic = dict(configs())
        self.assertEqual(sorted(by_topic), sorted(
            ["homeassistant/binary_sensor/tessaro_%s/connectivity/config" % reader,
             "homeassistant/sensor/tessaro_%s/read_rate/config" % reader] +
            ["homeassistant/binary_sensor/tessaro_%s/tag_%s/config" % (reader, epc) for epc in shelf]))
        for topic, config in by_topic.items():
            for key in ("name", "unique_id", "state_topic", "device", "origin"):
                self.assertIn(key, config, topic)
            self.assertEqual(config["device"]["identifiers"], ["tessaro_" + reader])
            self.assertIn("manufacturer", config["device"])
            self.assertEqual(config["origin"]["name"], "Tessaro")
        self.assertEqual(len({c["unique_id"] for c in by_topic.values()}), 4)
        self.assertEqual(by_topic["homeassistant/binary_sensor/tessaro_%s/tag_%s/config" % (reader, shelf[0])]["name"],
                         "Espresso")
        # The tags the names file names are present, as Home Assistant will show.
        states = self.subscribe(topic="tessaro/%s/presence/#" % reader, client_id="presence")
        self.assertTrue(wait_until(lambda: {t.rsplit("/", 1)[1] for t, p in states.messages() if p == "ON"} ==
                                   set(shelf)), states.messages())
        # Home Assistant restarts: it gets every config again.
        before = len(configs())
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.broker.port), "-t",
                        "homeassistant/status", "-m", "online"], check=True, timeout=TIMEOUT)
        self.assertTrue(wait_until(lambda: len(configs()) >= before + 4), discovery.messages())
        _, errors = run.communicate(timeout=TIMEOUT)
        self.assertEqual(run.returncode, 0, errors)

    def damaged_journal_case(self, damage):
        """Events of a run with no broker wait in the journal; `damage` harms
        it; the next run, with a broker, must publish only valid events, say
        what it found, and send what was intact. Returns (code, stderr, the
        events received)."""
        journal = os.path.join(self.folder, "journal-" + damage.__name__)
        code, _, errors = gateway("--broker", "mqtt://127.0.0.1:1", "--seconds", "1", "--drain", "0",
                                  "--client-id", "d1", journal=journal)
        self.assertEqual(code, 0, errors)
        damage(os.path.join(journal, "journal.db"))
        if not self.broker.process:
            self.broker.start()
        subscriber = self.subscribe(client_id="sub-" + damage.__name__)
        code, summaries, errors = gateway("--broker", "mqtt://127.0.0.1:%d" % self.broker.port,
                                          "--rounds", "1", "--client-id", "d2", journal=journal)
        self.assertEqual(summaries[0]["waiting"], 0, errors)
        # Everything the broker took reaches the subscriber: wait until no
        # more comes.
        counts = []
        wait_until(lambda: counts.append(len(subscriber.events())) or counts[-10:] == [counts[-1]] * 10
                   and counts[-1] > 0, seconds=10)
        events = subscriber.events()
        for event in events:
            EVENT.validate(event)
        subscriber.stop()
        self.subscribers.remove(subscriber)
        return code, errors, events

    def test_a_damaged_journal_is_set_aside_and_what_is_intact_goes_out(self):
        def flipped(db):
            with open(db, "r+b") as f:
                data = f.read()
                at = data.find(b'"epc":"3034')
                f.seek(at + 8)
                f.write(b"X")

        def truncated(db):
            os.truncate(db, os.path.getsize(db) // 2)

        def zero_length(db):
            os.truncate(db, 0)

        def unknown_file(db):
            with open(os.path.join(os.path.dirname(db), "stray.seg"), "w") as f:
                f.write("{}\n")

        def unreadable(db):
            if os.geteuid() == 0:  # root reads any file: make it a folder instead
                os.remove(db)
                os.mkdir(db)
            else:
                os.chmod(db, 0)

        cases = [(flipped, "failed its checksum in the journal: removed, not published", 0),
                 (truncated, "the journal was damaged", None),
                 (zero_length, "journal.db is empty", 0),
                 (unknown_file, "'stray.seg' in the journal folder is not the journal's", 0),
                 (unreadable, "moved to", 0)]
        for damage, message, code in cases:
            with self.subTest(damage.__name__):
                got, errors, events = self.damaged_journal_case(damage)
                self.assertIn(message, errors)
                if code is not None:
                    self.assertEqual(got, code, errors)
                else:
                    self.assertIn(got, (0, 6), errors)
                kinds = {e["type"] for e in events}
                self.assertIn("journal", kinds, errors)
                if damage in (flipped, unknown_file):
                    # All of the first run but the flipped event went out.
                    first_run = [e for e in events if e["run"] == 1 and e["type"] == "tag"]
                    self.assertGreater(len(first_run), 10)
                    self.assertTrue(all(e["epc"] in shelf_epcs() for e in first_run))


if __name__ == "__main__":
    unittest.main()
