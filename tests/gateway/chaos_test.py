"""The gateway loses nothing, whatever dies when: cycles of a broker that
stops and a gateway killed with SIGKILL at a random moment (while its events
wait in the journal, while it sends the backlog, while it is idle), then both
started again. A persistent QoS 1 subscriber takes everything; at the end
every sequence number the journal ever committed must have arrived, valid,
in order per reader, with repeats only of events that were in flight.

Run by CTest (label gateway) like gateway_test.py; CHAOS_CYCLES and
CHAOS_SEED change the number of cycles (20) and the random seed.
"""
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gateway_test import CLI, EVENT, TIMEOUT, Broker, Subscriber, wait_until  # noqa: E402

CYCLES = int(os.environ.get("CHAOS_CYCLES", "20"))
SEED = int(os.environ.get("CHAOS_SEED", str(int(time.time()))))
WINDOW = 100  # messages the gateway keeps unacknowledged at most


class ChaosTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tessaro-chaos-")
        self.journal = os.path.join(self.folder, "journal")
        self.broker = Broker(self.folder)
        self.random = random.Random(SEED)

    def tearDown(self):
        self.broker.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start_gateway(self, *extra):
        return subprocess.Popen(
            [CLI, "--sim", "--json", "gateway", "--journal", self.journal, "--client-id", "chaos",
             "--broker", "mqtt://127.0.0.1:%d" % self.broker.port, "--pause", "20"] + list(extra),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def pause(self, low, high):
        time.sleep(self.random.uniform(low, high))

    def kill(self, gateway):
        gateway.send_signal(signal.SIGKILL)
        gateway.wait(TIMEOUT)

    def committed(self):
        """The highest sequence number the journal committed, per reader."""
        with sqlite3.connect(os.path.join(self.journal, "journal.db")) as db:
            return dict(db.execute("SELECT reader, next_seq - 1 FROM readers"))

    def test_kill_minus_nine_at_any_moment_loses_nothing(self):
        print("chaos: %d cycles, seed %d" % (CYCLES, SEED), file=sys.stderr)
        self.broker.start()
        subscriber = Subscriber(self.folder, self.broker, topic="tessaro/+/tags", client_id="chaos-sub")
        moments = {"while its events wait in the journal": 0, "while it sends the backlog": 0,
                   "while it is idle": 0}
        try:
            for cycle in range(CYCLES):
                moment = list(moments)[cycle % 3]
                moments[moment] += 1
                gateway = self.start_gateway()
                self.pause(0.2, 0.6)
                if moment == "while its events wait in the journal":
                    self.broker.stop()
                    self.pause(0.2, 0.8)
                    self.kill(gateway)
                    self.broker.start()
                elif moment == "while it sends the backlog":
                    self.broker.stop()
                    self.pause(0.3, 0.8)
                    self.broker.start()
                    self.pause(0.0, 0.3)  # it reconnects within 0.25 s and sends what waits
                    self.kill(gateway)
                else:
                    self.pause(0.0, 0.3)
                    self.kill(gateway)
                    self.broker.stop()
                    self.broker.start()
            # A last run sends what is left and stops cleanly.
            final = self.start_gateway("--seconds", "1", "--drain", "20")
            final.wait(TIMEOUT)
            self.assertEqual(final.returncode, 0)
            committed = self.committed()
            self.assertTrue(committed)

            def arrived():
                got = {}
                for event in subscriber.events():
                    got.setdefault(event["reader"], set()).add(event["seq"])
                return all(got.get(r, set()) >= set(range(1, last + 1)) for r, last in committed.items())
            wait_until(arrived, seconds=30)
        finally:
            subscriber.stop()

        events = subscriber.events()
        for event in events:
            EVENT.validate(event)
        duplicates = 0
        for reader, last in committed.items():
            mine = [e for e in events if e["reader"] == reader]
            seen, highest = set(), 0
            for event in mine:
                seq = event["seq"]
                if seq in seen:
                    duplicates += 1
                    # A repeat is an event that was in flight when the
                    # gateway died or the broker went: never an old one.
                    self.assertLess(highest - seq, 2 * WINDOW, "seq %d repeated after %d" % (seq, highest))
                    continue
                # Order: every new event comes after the ones before it.
                self.assertGreater(seq, highest, "seq %d after %d" % (seq, highest))
                seen.add(seq)
                highest = seq
            missing = sorted(set(range(1, last + 1)) - seen)
            self.assertEqual(missing, [], "reader %s: %d of %d missing" % (reader, len(missing), last))
        print("chaos: %d cycles (%s), %d events, %d repeats of in-flight events" %
              (CYCLES, ", ".join("%d %s" % (n, m) for m, n in moments.items()),
               sum(committed.values()), duplicates), file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
