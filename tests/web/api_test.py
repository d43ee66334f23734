"""The web console's API against `tessaro --sim serve`: every endpoint, its
errors, the token rules, the Host check; every answer checked against the
OpenAPI document (docs/schemas/http-api.yaml), and every documented
operation exercised; /metrics through Prometheus' own text parser.
"""
import json
import os
import re
import socket
import ssl
import subprocess
import sys
import time
import unittest

import jsonschema
import yaml
from prometheus_client.parser import text_string_to_metric_families

sys.path.insert(0, os.path.dirname(__file__))
from console import CLI, SOURCE, TIMEOUT, Serve, shelf_epcs, shelf_tags, strongest, wait_until  # noqa: E402

OPENAPI = yaml.safe_load(open(os.path.join(SOURCE, "docs/schemas/http-api.yaml")))
EVENT_SCHEMA = json.load(open(os.path.join(SOURCE, "docs/schemas/tag-event.json")))
SERIAL = "19082024"  # the simulated reader's
SHELF = sorted(shelf_epcs())


def resolve(node):
    """The document with every $ref replaced by what it points to."""
    if isinstance(node, dict):
        if "$ref" in node:
            target = OPENAPI
            for part in node["$ref"].lstrip("#/").split("/"):
                target = target[part]
            return resolve(target)
        return {key: resolve(value) for key, value in node.items()}
    if isinstance(node, list):
        return [resolve(item) for item in node]
    return node


PATHS = resolve(OPENAPI["paths"])
TEMPLATES = [(re.compile("^" + re.sub(r"\{[^}]+\}", "[^/]+", path) + "$"), path) for path in PATHS]


class OpenApiChecked(Serve):
    """A Serve whose every JSON answer is checked against the document."""

    seen = set()  # (path template, method) exercised

    def request(self, method, path, *args, **kwargs):
        status, response, body = super().request(method, path, *args, **kwargs)
        bare = path.split("?")[0]
        template = next((t for pattern, t in TEMPLATES if pattern.match(bare)), None)
        if template and method.lower() in PATHS[template]:
            operation = PATHS[template][method.lower()]
            documented = operation["responses"].get(str(status))
            assert documented, "%s %s answered %d, which the document does not list" % (method, path, status)
            content = documented.get("content", {})
            kind = response.getheader("Content-Type", "").split(";")[0]
            assert kind in content, "%s %s %d came as %s, documented %s" % (
                method, path, status, kind, list(content))
            if kind == "application/json":
                jsonschema.Draft202012Validator(content[kind]["schema"]).validate(body)
            OpenApiChecked.seen.add((template, method.lower()))
        return status, response, body


class ApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.serve = OpenApiChecked()
        # Every shelf tag read once, so tables and histories hold them.
        assert wait_until(lambda: len(cls.tags()) >= len(SHELF), 10), "the table never filled"

    @classmethod
    def tearDownClass(cls):
        cls.exit = cls.serve.stop()

    @classmethod
    def tags(cls):
        return {t["epc"]: t for t in cls.serve.request("GET", "/api/v1/readers/%s/tags" % SERIAL)[2]["tags"]}

    def call(self, method, path, body=None, status=200, **kwargs):
        got, response, answer = self.serve.request(method, path, body, **kwargs)
        self.assertEqual(got, status, "%s %s: %s" % (method, path, answer))
        return answer

    def op(self, epc, operation, body, status=200):
        return self.call("POST", "/api/v1/readers/%s/tags/%s/%s" % (SERIAL, epc, operation), body, status)

    # ---- readers, info, settings ------------------------------------------

    def test_readers_and_info_in_the_words_of_tessaro_info(self):
        readers = self.call("GET", "/api/v1/readers")["readers"]
        self.assertEqual([r["serial"] for r in readers], [SERIAL])
        self.assertEqual(readers[0]["state"], "online")
        self.assertTrue(readers[0]["reading"])
        self.assertEqual(self.call("GET", "/api/v1/readers/" + SERIAL)["serial"], SERIAL)
        self.assertIn("no reader", self.call("GET", "/api/v1/readers/00000000", status=404)["error"])
        info = self.call("GET", "/api/v1/readers/%s/info" % SERIAL)
        printed = subprocess.run([CLI, "--sim", "--quiet", "info"], capture_output=True, text=True,
                                 timeout=TIMEOUT).stdout.splitlines()
        labels = lambda lines: [re.split(r"\s{2,}", line)[0] for line in lines]
        self.assertEqual(labels(info["text"]), labels(printed))
        self.assertIn("Serial number", [f["label"] for f in info["fields"]])
        self.call("GET", "/api/v1/readers/nobody/info", status=404)

    def test_settings_change_checked_field_by_field(self):
        before = self.call("GET", "/api/v1/readers/%s/settings" % SERIAL)["settings"]
        path = "/api/v1/readers/%s/settings" % SERIAL
        changed = self.call("PUT", path, {"power": 21, "scanTime": 1200, "beep": False,
                                          "antennas": [1, 2],
                                          "region": {"name": "eu", "lowestChannel": 2, "highestChannel": 9}})
        self.assertEqual(sorted(changed["changed"]), ["antennas", "beep", "power", "region", "scanTime"])
        now = changed["settings"]
        self.assertEqual((now["power"], now["scanTime"], now["beep"], now["antennas"]), (21, 1200, False, [1, 2]))
        self.assertEqual((now["region"]["name"], now["region"]["lowestChannel"], now["region"]["highestChannel"]),
                         ("eu", 2, 9))
        self.assertIn("21 dBm", json.dumps(self.call("GET", "/api/v1/readers/%s/info" % SERIAL)["text"]))
        for bad, words in [({"power": 31}, "'power'"), ({"power": "20"}, "'power'"),
                           ({"scanTime": 1250}, "steps of 100"), ({"antennas": [5]}, "antenna"),
                           ({"antennas": []}, "antenna"), ({"beep": 1}, "'beep'"),
                           ({"region": {"name": "mars"}}, "region"),
                           ({"region": {"name": "eu", "lowestChannel": 99}}, "lowestChannel"),
                           ({"region": {"name": "eu", "lowestChannel": 5, "highestChannel": 2}}, "first"),
                           ({"colour": "red"}, "unknown field 'colour'"), ({"power": 20, "x": 1}, "unknown field")]:
            self.assertIn(words, self.call("PUT", path, bad, status=400)["error"], bad)
        # Nothing of a refused request was sent: the settings are as the good one left them.
        self.assertEqual(self.call("GET", path)["settings"]["power"], 21)
        restore = {k: before[k] for k in ("power", "scanTime", "beep", "antennas")}
        restore["region"] = {"code": before["region"]["code"]}
        self.call("PUT", path, restore)

    def test_bodies_that_are_not_json_objects_or_too_big(self):
        path = "/api/v1/readers/%s/settings" % SERIAL
        json_type = {"Content-Type": "application/json"}
        self.assertIn("not valid JSON", self.call("PUT", path, raw="{power:", headers=json_type, status=400)["error"])
        self.assertIn("object", self.call("PUT", path, raw="[1,2]", headers=json_type, status=400)["error"])
        self.assertIn("Content-Type", self.call("PUT", path, raw='{"power":20}',
                                                  headers={"Content-Type": "text/plain"}, status=415)["error"])
        huge = '{"power":' + " " * (70 * 1024) + "20}"
        self.assertIn("larger", self.call("PUT", path, raw=huge, headers=json_type, status=413)["error"])
        # Nesting too deep for a recursive parser is just JSON that is refused.
        deep = "[" * 30000 + "]" * 30000
        self.call("PUT", path, raw=deep, headers=json_type, status=400)

    # ---- inventory and tag operations -------------------------------------

    def test_inventory_finds_the_shelf(self):
        tags = self.call("POST", "/api/v1/readers/%s/inventory" % SERIAL, {"q": 5, "tid": True})["tags"]
        self.assertEqual(sorted({t["epc"] for t in tags}), SHELF)
        self.assertTrue(all(len(t["tid"]) == 24 for t in tags))
        self.assertIn("'q'", self.call("POST", "/api/v1/readers/%s/inventory" % SERIAL, {"q": 16}, status=400)["error"])
        self.assertEqual(self.call("POST", "/api/v1/readers/%s/inventory" % SERIAL)["code"] in (1, 2), True)

    def test_read_and_write_words_of_a_tag(self):
        epc = strongest(lambda t: "userwords" in t and "lock-user" not in t)
        tid = self.op(epc, "read", {"bank": "tid", "word": 0, "count": 2})
        self.assertEqual((tid["bank"], tid["count"], len(tid["data"])), ("tid", 2, 8))
        self.assertEqual(self.op(epc, "write", {"bank": "user", "word": 1, "data": "CAFEF00D"})["wordsWritten"], 2)
        self.assertEqual(self.op(epc, "read", {"bank": "user", "word": 1, "count": 2})["data"], "CAFEF00D")
        for body, words in [({"bank": "disk"}, "'bank'"), ({"bank": "user", "count": 121}, "'count'"),
                            ({"bank": "user", "password": "123"}, "'password'"), ({"bank": "user", "x": 1}, "unknown")]:
            self.assertIn(words, self.op(epc, "read", body, status=400)["error"])
        self.assertIn("'data'", self.op(epc, "write", {"bank": "user", "data": "ABC"}, status=400)["error"])
        self.assertIn("missing", self.op(epc, "write", {"bank": "user"}, status=400)["error"])

    def test_errors_carry_the_librarys_code_and_text(self):
        absent = "DEADBEEFDEADBEEFDEADBEEF"
        error = self.op(absent, "read", {"bank": "epc", "count": 2}, status=409)
        self.assertIsInstance(error["code"], int)
        self.assertTrue(error["text"].split(":")[0].isupper() or error["text"])
        self.assertIn(error["text"], error["error"])
        self.assertIn("no tag operation", self.op(SHELF[0], "erase", {}, status=404)["error"])
        self.assertIn("EPC", self.op("XYZ", "read", {"bank": "epc"}, status=404)["error"])
        self.assertIn("'target'", self.op(SHELF[0], "lock", {"target": "all", "action": "lock"}, status=400)["error"])
        self.assertIn("killPassword", self.op(SHELF[0], "kill", {}, status=400)["error"])

    def test_write_epc_lock_and_kill(self):
        old, new = strongest(lambda t: not any(k.startswith("lock") for k in t)), "ABCD0000000000000000C0DE"
        self.assertEqual(self.op(old, "write-epc", {"newEpc": new})["newEpc"], new)
        self.assertEqual(self.op(new, "read", {"bank": "epc", "word": 2, "count": 6})["data"], new)
        shorter = "ABCD00000000C0DE"  # another length: the PC word follows
        self.op(new, "write-epc", {"newEpc": shorter})
        pc = self.op(shorter, "read", {"bank": "epc", "word": 1, "count": 1})["data"]
        self.assertEqual(int(pc, 16) >> 11, 4)
        self.op(shorter, "write-epc", {"newEpc": old})
        self.assertEqual(self.op(old, "lock", {"target": "user", "action": "unlock"})["action"], "unlock")
        # A wrong kill password: the tag refuses, in the library's words.
        guarded = next(t for t in shelf_tags() if t.get("kill", "00000000") != "00000000")
        killed = self.op(guarded["epc"], "kill", {"killPassword": "00000000"}, status=409)
        self.assertNotEqual(killed["code"], 0)
        self.assertIn(killed["text"], killed["error"])

    # ---- history, rates, the table ----------------------------------------

    def test_history_rates_and_table(self):
        epc = SHELF[0]
        events = self.call("GET", "/api/v1/tags/%s/history?limit=5" % epc)["events"]
        self.assertTrue(1 <= len(events) <= 5)
        for event in events:
            jsonschema.validate(event, EVENT_SCHEMA)
            self.assertEqual(event["epc"], epc)
        self.assertEqual([e["seq"] for e in events], sorted((e["seq"] for e in events), reverse=True))
        self.call("GET", "/api/v1/tags/%s/history?limit=0" % epc, status=400)
        self.call("GET", "/api/v1/tags/ZZ/history", status=404)
        rates = self.call("GET", "/api/v1/readers/%s/rates" % SERIAL)
        self.assertTrue(all(len(series) == rates["seconds"] for series in rates["antennas"].values()))
        self.assertGreater(sum(sum(series) for series in rates["antennas"].values()), 0)
        table = self.call("GET", "/api/v1/readers/%s/tags?limit=3" % SERIAL)
        self.assertEqual(len(table["tags"]), 3)
        self.call("GET", "/api/v1/readers/%s/tags?limit=x" % SERIAL, status=400)

    # ---- the event stream ---------------------------------------------------

    def stream(self, query, count, headers=None):
        """The first `count` events of the stream (id, JSON)."""
        connection = self.serve.connection()
        connection.request("GET", "/api/v1/events" + query,
                           headers=dict({"Host": "localhost:%d" % self.serve.port}, **(headers or {})))
        response = connection.getresponse()
        self.assertEqual(response.status, 200)
        self.assertTrue(response.getheader("Content-Type").startswith("text/event-stream"))
        found, current = [], None
        deadline = time.monotonic() + 10
        while len(found) < count and time.monotonic() < deadline:
            line = response.fp.readline().decode().rstrip("\n")
            if line.startswith("id: "):
                current = int(line[4:])
            elif line.startswith("data: "):
                found.append((current, json.loads(line[6:])))
        connection.close()
        return found

    def test_stream_gives_a_late_client_the_recent_events_first(self):
        validator = jsonschema.Draft202012Validator(EVENT_SCHEMA)
        started = time.monotonic()
        recent = self.stream("?recent=50", 50)
        self.assertEqual(len(recent), 50)
        self.assertLess(time.monotonic() - started, 5)  # the recent ones at once, not waited for
        for _, event in recent:
            validator.validate(event)
        ids = [i for i, _ in recent]
        self.assertEqual(ids, list(range(ids[0], ids[0] + 50)))
        # Resumed after an id (Last-Event-ID, as EventSource does): the next one comes.
        resumed = self.stream("", 1, {"Last-Event-ID": str(ids[10])})
        self.assertEqual(resumed[0][0], ids[11])
        self.assertEqual(resumed[0][1], recent[11][1])
        self.assertEqual(self.stream("?after=%d" % ids[20], 1)[0][0], ids[21])
        self.call("GET", "/api/v1/events?after=-1", status=400)
        self.call("GET", "/api/v1/events?recent=99999", status=400)

    # ---- recording ----------------------------------------------------------

    def test_recording_replays_with_tessaro_replay(self):
        self.assertEqual(self.call("GET", "/api/v1/recording")["recording"], False)
        self.call("POST", "/api/v1/recording/stop", {}, status=409)
        started = self.call("POST", "/api/v1/recording/start", {"reader": SERIAL})
        self.assertTrue(started["recording"])
        self.call("POST", "/api/v1/recording/start", {}, status=409)
        self.call("POST", "/api/v1/recording/start", {"reader": 5}, status=400)
        wait_until(lambda: self.call("GET", "/api/v1/recording")["reports"] > 40, 10)
        status = self.call("POST", "/api/v1/recording/stop", {})
        self.assertGreater(status["last"]["rounds"], 0)
        self.call("GET", "/api/v1/recording/transcript", token=False, status=401)
        transcript = self.call("GET", "/api/v1/recording/transcript")
        self.assertTrue(transcript.startswith("# tessaro transcript 1\n"))
        replay = re.search(r"replay: tessaro replay FILE -- (.*)", transcript).group(1).split()
        path = os.path.join(self.serve.folder, "console.transcript")
        with open(path, "w") as file:
            file.write(transcript)
        run = subprocess.run([CLI, "--quiet", "--json", "replay", path, "--"] + replay,
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 0, run.stderr)
        replayed = {json.loads(line)["epc"] for line in run.stdout.splitlines() if '"epc"' in line}
        self.assertEqual(sorted(replayed), SHELF)

    # ---- the rules every request passes -------------------------------------

    def test_token_rules(self):
        path = "/api/v1/readers/%s/settings" % SERIAL
        self.assertIn("token", self.call("PUT", path, {"power": 20}, token=False, status=401)["error"])
        self.assertIn("wrong", self.call("PUT", path, {"power": 20}, token="x" * 32, status=401)["error"])
        # A change takes the token from the header only, not from the query or a cookie.
        self.call("PUT", path + "?token=" + self.serve.token, {"power": 20}, token=False, status=401)
        self.call("PUT", path, {"power": 20}, token=False, headers={"Cookie": "tessaro_token=" + self.serve.token},
                  status=401)
        self.call("POST", "/api/v1/recording/start", {}, token=False, status=401)
        # Reads are free on the loopback.
        self.call("GET", "/api/v1/readers", token=False)
        # The ready URL puts the token in a cookie the page's stream and links carry.
        status, response, page = self.serve.request("GET", "/?token=" + self.serve.token, token=False)
        self.assertEqual(status, 200)
        self.assertIn("tessaro_token=" + self.serve.token, response.getheader("Set-Cookie"))
        self.assertIn("HttpOnly", response.getheader("Set-Cookie"))
        self.assertIn("<title>Tessaro console</title>", page)
        self.assertIsNone(self.serve.request("GET", "/", token=False)[1].getheader("Set-Cookie"))

    def test_host_header_is_checked_and_no_cors(self):
        port = self.serve.port
        for host in ["127.0.0.1:%d" % port, "localhost:%d" % port, "[::1]:%d" % port, "LOCALHOST"]:
            self.call("GET", "/api/v1/readers", headers={"Host": host})
        for host in ["evil.example:%d" % port, "0.0.0.0:%d" % port, "127.0.0.1:x", "", "a:1:2"]:
            answer = self.call("GET", "/api/v1/readers", headers={"Host": host}, status=403)
            self.assertIn("Host", answer["error"])
        # HTTP/1.0 without a Host header at all.
        with socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT) as s:
            s.sendall(b"GET /api/v1/readers HTTP/1.0\r\n\r\n")
            self.assertIn(b" 403 ", s.makefile("rb").readline())
        status, response, _ = self.serve.request("GET", "/api/v1/readers", headers={"Origin": "http://evil.example"})
        self.assertIsNone(response.getheader("Access-Control-Allow-Origin"))
        self.assertNotEqual(self.serve.request("OPTIONS", "/api/v1/readers")[0], 200)

    def test_unknown_paths_and_the_page(self):
        self.assertIn("nothing at", self.call("GET", "/api/v1/nothing", status=404)["error"])
        for name, kind in [("/", "text/html"), ("/app.js", "text/javascript"), ("/style.css", "text/css")]:
            status, response, _ = self.serve.request("GET", name, token=False)
            self.assertEqual(status, 200)
            self.assertTrue(response.getheader("Content-Type").startswith(kind))
            self.assertIn("default-src 'self'", response.getheader("Content-Security-Policy"))

    def test_metrics_parse_as_prometheus_text(self):
        status, response, text = self.serve.request("GET", "/metrics", token=False)
        self.assertEqual(status, 200)
        self.assertTrue(response.getheader("Content-Type").startswith("text/plain; version=0.0.4"))
        families = {f.name: f for f in text_string_to_metric_families(text)}
        for name in ["tessaro_reads", "tessaro_rounds", "tessaro_round_errors", "tessaro_reader_online",
                     "tessaro_reader_lost", "tessaro_reader_back", "tessaro_journal_events",
                     "tessaro_journal_dropped", "tessaro_http_stream_clients"]:
            self.assertIn(name, families)
        reads = [s for s in families["tessaro_reads"].samples if s.name == "tessaro_reads_total"]
        self.assertEqual({s.labels["reader"] for s in reads}, {SERIAL})
        self.assertEqual({s.labels["antenna"] for s in reads}, {"1", "2", "3", "4"})
        self.assertTrue(all(s.value > 0 for s in reads))
        self.assertEqual(families["tessaro_reader_online"].samples[0].value, 1)
        self.assertGreater(families["tessaro_journal_events"].samples[0].value, 0)

    def test_zz_every_documented_operation_was_exercised(self):
        documented = {(path, method) for path, item in PATHS.items() for method in item
                      if method in ("get", "put", "post", "delete")}
        missing = documented - OpenApiChecked.seen - {("/api/v1/events", "get"), ("/metrics", "get")}
        self.assertEqual(missing, set())


class TlsTest(unittest.TestCase):
    def test_https_with_cert_and_key(self):
        folder = os.path.join(os.environ.get("TESSARO_WEB_OUT", "/tmp"), "tls")
        os.makedirs(folder, exist_ok=True)
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert], check=True, capture_output=True, timeout=TIMEOUT)
        serve = Serve("--cert", cert, "--key", key)
        try:
            self.assertTrue(serve.url.startswith("https://127.0.0.1:"))
            context = ssl.create_default_context(cafile=cert)
            status, _, body = serve.request("GET", "/api/v1/readers", context=context)
            self.assertEqual((status, body["readers"][0]["serial"]), (200, SERIAL))
            status, response, _ = serve.request("GET", "/?token=" + serve.token, token=False, context=context)
            self.assertIn("Secure", response.getheader("Set-Cookie"))
        finally:
            serve.stop()
        # A key that does not fit the certificate ends the run before anything starts.
        run = subprocess.run([CLI, "--sim", "serve", "--http", "127.0.0.1:0", "--cert", cert, "--key", cert,
                              "--journal", os.path.join(folder, "journal")],
                             capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(run.returncode, 2)
        self.assertIn("cannot be used", run.stderr)

    def test_options_checked_before_anything_starts(self):
        for extra, words in [(["--token", "short"], "at least 16"), (["--http", "127.0.0.1:99999"], "port"),
                             (["--token", "a b c d e f g h i j"], "letters")]:
            run = subprocess.run([CLI, "--sim", "serve", "--seconds", "1"] + extra,
                                 capture_output=True, text=True, timeout=TIMEOUT)
            self.assertEqual(run.returncode, 2, extra)
            self.assertIn(words, run.stderr)


if __name__ == "__main__":
    unittest.main()
