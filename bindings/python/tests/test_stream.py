"""Reader.stream(): the library's continuous reading as an iterator and with
asyncio, on the simulated shelf (virtual clock). Every wait is bounded: a
stop that deadlocks fails the test instead of hanging it."""
import asyncio
import threading
import time

import tessaro
from tessaro import Presence, ReaderStatus, TagRead
from test_reader import shelf

BOUND = 20  # seconds of real time for anything that should take milliseconds


def within(function, *arguments):
    """Runs function on a thread of its own; fails when it has not returned in BOUND s."""
    result, failure = [], []

    def run():
        try:
            result.append(function(*arguments))
        except BaseException as error:  # noqa: B902 - handed to the test
            failure.append(error)

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(BOUND)
    assert not thread.is_alive(), f"{function.__name__} did not return in {BOUND} s"
    if failure:
        raise failure[0]
    return result[0]


def eventually(condition):
    """Waits until condition() holds; fails when it has not in BOUND s."""
    deadline = time.monotonic() + BOUND
    while not condition():
        assert time.monotonic() < deadline, "the condition never held"
        time.sleep(0.001)


def take_until(stream, done):
    """The events of `stream` until done(events) holds (or the stream ends)."""
    events = []
    for event in stream:
        events.append(event)
        if done(events):
            break
    return events


def test_reads_are_the_tags_of_the_field(reader):
    expected = {t["epc"]: (int(t["antenna"]), int(t["rssi"])) for t in shelf()}
    with reader.stream() as stream:
        events = within(take_until, stream, lambda e: {x.epc_hex for x in e} >= expected.keys())
    assert all(isinstance(e, TagRead) for e in events)
    assert {e.epc_hex: (e.antenna, e.rssi) for e in events} == expected
    assert events[0].round == 1 and events[-1].round >= 1
    assert stream.stats.reads >= len(expected) and not stream.stats.running


def test_presence_arrivals_then_departures(sim, reader):
    on_one = sorted(t["epc"] for t in shelf() if t["antenna"] == "1")
    with reader.stream(presence=True, depart_after_ms=500, antenna=1) as stream:
        arrived = within(take_until, stream,
                         lambda e: sum(isinstance(x, Presence) for x in e) == len(on_one))
        assert {e.event for e in arrived if isinstance(e, Presence)} == {"arrived"}
        for tag in range(sim.tag_count()):
            sim.place_tag(tag, 0)               # the field empties
        departed = within(take_until, stream, lambda e: sum(
            isinstance(x, Presence) and x.event == "departed" for x in e) == len(on_one))
    gone = [e for e in departed if isinstance(e, Presence) and e.event == "departed"]
    assert sorted(e.epc_hex for e in gone) == on_one
    assert all(e.reads >= 1 and e.last_seen_ms >= e.first_seen_ms for e in gone)


def test_stop_from_inside_the_loop_ends_it_at_once(reader):
    stream = reader.stream()

    def consume():
        taken = 0
        for _ in stream:
            taken += 1
            if taken == 5:
                stream.stop()
        return taken

    assert within(consume) == 5
    assert stream.get(timeout=0.1) is None and not stream.running
    stream.stop()                               # twice does no harm


def test_stop_from_another_thread_wakes_the_loop(reader):
    stream = reader.stream(max_queued=50)       # a consumer that falls behind fills it
    reading = threading.Event()

    def consume():
        for _ in stream:
            reading.set()
            threading.Event().wait(0.01)        # slow: the queue fills, reads are dropped
        return "ended"

    consumer = threading.Thread(target=lambda: within(consume), daemon=True)
    consumer.start()
    assert reading.wait(BOUND)
    eventually(lambda: stream.stats.dropped > 0)
    within(stream.stop)
    consumer.join(BOUND)
    assert not consumer.is_alive()
    assert stream.stats.dropped > 0 and not stream.stats.running


def test_stop_wakes_a_loop_that_waits_for_a_tag(sim, reader):
    for tag in range(sim.tag_count()):
        sim.place_tag(tag, 0)                   # nothing to read: the loop waits
    stream = reader.stream()
    consumer = threading.Thread(target=lambda: list(stream), daemon=True)
    consumer.start()
    eventually(lambda: stream.stats.rounds > 3)
    within(stream.stop)
    consumer.join(BOUND)
    assert not consumer.is_alive()


def test_async_for_with_stop_inside_and_from_another_thread(reader):
    async def inside():
        taken = 0
        async with reader.stream() as stream:
            async for _ in stream:
                taken += 1
                if taken == 7:
                    await stream.aclose()
        return taken

    async def from_another_thread():
        stream = reader.stream()
        threading.Timer(0.05, stream.stop).start()
        return sum([1 async for _ in stream]) > 0 and not stream.running

    assert within(asyncio.run, inside()) == 7
    assert within(asyncio.run, from_another_thread())


def test_unplugged_reader_is_lost_then_back(sim, reader):
    with reader.stream(retry_interval_ms=200) as stream:
        def follow():
            seen = []
            for event in stream:
                if isinstance(event, ReaderStatus):
                    seen.append(event.event)
                    if event.event == "lost":
                        sim.set_plugged(True)
                    if event.event == "back":
                        return seen
                elif not seen and event.round == 2:
                    sim.set_plugged(False)
            return seen

        assert within(follow) == ["lost", "back"]
        assert within(take_until, stream, lambda e: isinstance(e[-1], TagRead))
        assert stream.stats.lost == 1


def test_closing_the_reader_or_the_simulator_stops_its_streams(sim, reader):
    first, second = reader.stream(), reader.stream(mode="fast")
    within(reader.close)
    assert not first.running
    with tessaro.open() as again:
        third = again.stream(mode="buffered")
        within(sim.close)
        assert not third.running and not second.running
