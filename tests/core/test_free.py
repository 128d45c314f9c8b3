"""The one rule for Free: an object freed (a static Free, a delete_) while
other threads are in its calls, or freed from two threads at once, never
crashes the interpreter: the waits in progress end, every call on another
thread returns or is refused as a freed object's (TypeError), and the
object goes once they have. A freed object then refuses use as the object
of a call and as an argument, through its proxy and its bare pointer
object alike; a second Free does nothing. Each route runs in a process of
its own, so that a crash fails its case only."""
import itertools
import os

import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
import tarn_edge_310 as te
from support import ROOT, error_of, needs_netns
from support.devices import start_test_device
from support.streams import open_towards

pytestmark = needs_netns()
m = tr._tarn_receive_310
WITH_SUPPORT = {"TARN_IN_NETNS": "1", "PYTHONPATH": os.environ.get("PYTHONPATH", "") + ":" + str(ROOT / "tests")}
_addresses = itertools.count(2)
# A long run under AddressSanitizer (`make asan` sets it), a short one else.
STRESS_SECONDS = float(os.environ.get("TARN_STRESS_SECONDS", "2"))

# (what is made as `obj`, with `keep` for what the use needs; the class and
# method the other threads call, with its arguments; how it is freed). The
# calls either return (waits end) or are refused once the object is freed.
ROUTES = {
    "stream retrieving": (
        "obj = stream(); keep = [buffer() for _ in range(2)]\n"
        "for b in keep: m.ZuStream_QueueBuffer(obj, b)",
        "ZuStream", "RetrieveBuffer", "(0xFFFFFFFF,)", "m.ZuStream_Free(obj)"),
    "stream queueing": (
        "obj = stream(); keep = buffer()",
        "ZuStream", "QueueBuffer", "(keep,)", "m.ZuStream_Free(obj)"),
    "stream parameters": (
        "owner = stream(); obj = m.ZuStream_GetParameters(owner)",
        "ZuGenParameterArray", "GetIntegerValue", "('ImagesReceived',)", "m.ZuStream_Free(owner)"),
    "device": (
        "device = start_test_device('127.0.47.%d' % ADDRESS)\n"
        "result, obj = tr.ZuDevice.CreateAndConnect('127.0.47.%d' % ADDRESS); assert result.IsOK()",
        "ZuDeviceGEV", "ReadRegister", "(0x10000,)", "tr.ZuDevice.Free(obj)"),
    "pipeline waiting": (
        "obj = tr.ZuPipeline(stream()); assert obj.Start().IsOK()",
        "ZuPipeline", "RetrieveNextBuffer", "(0xFFFFFFFF,)", "m.delete_ZuPipeline(obj)"),
    "buffer and its image": (
        "owner = buffer(); obj = owner.GetImage(); assert obj.Alloc(64, 48, tb.ZuPixelMono8).IsOK()",
        "IZuImage", "GetDataPointer", "()", "tb._tarn_base_310.delete_ZuBuffer(owner)"),
    # Arguments: `{o}` stands for the object freed, given as a proxy or bare.
    "buffer converted into": (
        "conv = tr.ZuBufferConverter(); src = buffer(); obj = buffer()\n"
        "assert src.GetImage().Alloc(2048, 2048, tb.ZuPixelMono8).IsOK()\n"
        "assert obj.GetImage().Alloc(2048, 2048, tb.ZuPixelRGB8).IsOK()",
        None, "conv.Convert(src, {o}, True)", None, "tb._tarn_base_310.delete_ZuBuffer(obj)"),
    "buffer queued": (
        "owner = stream(); obj = buffer()",
        None, "m.ZuStream_QueueBuffer(owner, {o})", None, "tb._tarn_base_310.delete_ZuBuffer(obj)"),
    "transmitter waiting": (
        "obj = te.ZuTransmitterGEV(); assert obj.Open(te.ZuString('127.0.0.1'), 9, te.ZuString('127.0.0.1')).IsOK()",
        "ZuTransmitterGEV", "RetrieveFreeBuffer", "(None, 0xFFFFFFFF)", "te._tarn_edge_310.delete_ZuTransmitterGEV(obj)"),
}

HARNESS = """
import sys, threading, time
import tarn_base_310 as tb, tarn_receive_310 as tr, tarn_edge_310 as te
from support.devices import start_test_device
from support.streams import open_towards
m = tr._tarn_receive_310
flat = {{"IZuImage": tb._tarn_base_310, "ZuTransmitterGEV": te._tarn_edge_310}}.get("{cls}", m)
ADDRESS = {address}

def stream():
    result, s = open_towards("127.0.48.%d" % ADDRESS)
    assert result.IsOK()
    return s

def buffer():
    b = tb.ZuBuffer()
    assert b.Alloc(4096).IsOK()
    return b

{setup}
call = {call}
refused, failed = [], []

def use():
    while True:
        try:
            call()
        except TypeError as error:
            refused.append(str(error))
            return
        except BaseException as error:
            failed.append(repr(error))
            return

users = [threading.Thread(target=use, daemon=True) for _ in range(2)]
for u in users:
    u.start()
time.sleep(0.3)   # into their calls; an earlier free is answered the same
freers = [threading.Thread(target=lambda: {free}, daemon=True) for _ in range(2)]
for f in freers:
    f.start()
for t in freers + users:
    t.join(30)
assert not any(t.is_alive() for t in freers + users), "a call outlived the free"
assert not failed and len(refused) == len(users), failed
assert all(text.startswith("in method '") and "', argument " in text for text in refused), refused
{free}   # a second time: nothing to do
m.ZuStream_Free(stream())   # what the SDK shares still works
print("ok", flush=True)
"""


@pytest.mark.parametrize("form", ["proxy", "bare"])
@pytest.mark.parametrize("route", ROUTES)
def test_freeing_under_calls_on_other_threads_and_twice_at_once_ends_them_all(py, route, form):
    setup, cls, method, args, free = ROUTES[route]
    call = (f"lambda: {method.format(o='obj' if form == 'proxy' else 'obj.this')}" if cls is None else
            f"lambda: obj.{method}(*{args})" if form == "proxy" else f"lambda: flat.{cls}_{method}(obj.this, *{args})")
    script = HARNESS.format(cls=cls, call=call, form=form, free=free, setup=setup, address=next(_addresses))
    result = py(script, env=WITH_SUPPORT, check=False, timeout=120)
    assert result.returncode == 0 and "ok" in result.stdout.splitlines(), result.stdout + result.stderr


# What is made, how it is freed, and uses of the freed object as the object
# of a call and as an argument, through the proxy and the pointer object.
def made_stream():
    result, stream = open_towards(f"127.0.49.{next(_addresses)}")
    assert result.IsOK()
    return stream


ARGUMENTS = {
    "stream": (made_stream, lambda s: m.ZuStream_Free(s),
               [lambda s: tr.ZuPipeline(s), lambda s: m.new_ZuPipeline(s.this), lambda s: s.IsOpen(),
                lambda s: m.ZuStream_Close(s.this)]),
    "buffer": (tb.ZuBuffer, lambda b: tb._tarn_base_310.delete_ZuBuffer(b),
               [lambda b: made_stream().QueueBuffer(b), lambda b: m.ZuStream_QueueBuffer(made_stream(), b.this),
                lambda b: b.GetSize(), lambda b: tb._tarn_base_310.ZuBuffer_Alloc(b.this, 16)]),
    "pipeline": (lambda: tr.ZuPipeline(made_stream()), lambda p: m.delete_ZuPipeline(p),
                 [lambda p: p.Start(), lambda p: m.ZuPipeline_IsStarted(p.this)]),
}


@pytest.mark.parametrize("kind", ARGUMENTS)
def test_a_freed_object_refuses_use_as_object_and_argument_and_frees_once(kind):
    make, free, uses = ARGUMENTS[kind]
    obj = make()
    free(obj)
    for use in uses:
        kind_of_error, text = error_of(use, obj)
        assert kind_of_error is TypeError and text.startswith("in method '"), text
    free(obj)   # again: nothing to free


# What a buffer is queued on, how, and how the owner hands it back.
QUEUES = {
    "stream": ("import tarn_receive_310 as tr; from support.devices import send_frames\n"
               "from support.streams import open_towards; m = tr._tarn_receive_310; result, owner = open_towards(ADDRESS)",
               "m.ZuStream_QueueBuffer(owner, queued).GetCode() == tr.ZU_PENDING",
               "send_frames(ADDRESS, m.ZuStreamGEV_GetLocalPort(owner), 1, 640, 480)\n"
               "result, back, operation = owner.RetrieveBuffer(5000)\n"
               "assert result.IsOK() and operation.IsOK() and back is queued\n"
               "m.ZuStream_Free(owner)"),
    "transmitter": ("import tarn_edge_310 as te; owner = te.ZuTransmitterGEV(); assert owner.Open(te.ZuString('127.0.0.1'), 9, te.ZuString('127.0.0.1')).IsOK()",
                    "te._tarn_edge_310.ZuTransmitterGEV_QueueBuffer(owner, queued).IsOK()",
                    "assert owner.RetrieveFreeBuffer(None, 5000).IsOK()"),
}


@pytest.mark.parametrize("form", ["proxy", "bare"])
@pytest.mark.parametrize("queue", QUEUES)
def test_a_buffer_deleted_while_queued_goes_once_it_is_handed_back(py, queue, form):
    make, enqueue, hand_back = QUEUES[queue]
    make, hand_back = (text.replace("\n", "\n" + " " * 8) for text in (make, hand_back))
    result = py(f"""
        import tarn_base_310 as tb   # alone with the module of the queue: as a script would
        ADDRESS = "127.0.49.{next(_addresses)}"
        {make}
        kept = []
        for _ in range(2):   # the second is mapped where the first was, and goes in turn
            buffer = tb.ZuBuffer()
            assert buffer.GetImage().Alloc(8192, 8192, tb.ZuPixelMono8).IsOK()   # mapped apart, unmapped when deleted
            queued = buffer if "{form}" == "proxy" else buffer.this
            assert {enqueue}
            tb._tarn_base_310.delete_ZuBuffer(queued)
            kept.append(queued)
        queued = kept[0]
        {hand_back}
        try:
            tb._tarn_base_310.ZuBuffer_GetSize(queued)
        except TypeError:
            print("refused", flush=True)
        """, env=WITH_SUPPORT, check=False, timeout=60)
    assert result.returncode == 0 and result.stdout.splitlines() == ["refused"], result.stdout + result.stderr


def test_a_freed_device_refuses_use_as_argument():
    address = f"127.0.47.{next(_addresses)}"
    with start_test_device(address):
        result, device = tr.ZuDevice.CreateAndConnect(address)
        assert result.IsOK()
        tr.ZuDevice.Free(device)
        for use in (lambda: tr.ZuDeviceAdapter(device), lambda: m.new_ZuDeviceAdapter(device.this)):
            assert error_of(use)[0] is TypeError
        tr.ZuDevice.Free(device)


STRESS = """
import random, sys, threading, time
import tarn_base_310 as tb, tarn_receive_310 as tr
from support.streams import open_towards
m = tr._tarn_receive_310
random.seed({seed})
until = time.monotonic() + {seconds}
rounds = 0
while time.monotonic() < until:
    result, s = open_towards("127.0.50.%d" % (2 + rounds % 200))
    assert result.IsOK()
    p = tr.ZuPipeline(s)
    buffers = [tb.ZuBuffer() for _ in range(3)]
    for b in buffers:
        b.Alloc(1024)
    params = s.GetParameters()
    calls = [lambda: s.RetrieveBuffer(random.choice([0, 5, 0xFFFFFFFF])),
             lambda: s.QueueBuffer(random.choice(buffers)), lambda: s.GetQueuedBufferCount(),
             lambda: params.GetIntegerValue("ImagesReceived"), lambda: s.Close(), lambda: s.AbortQueuedBuffers(),
             lambda: p.Start(), lambda: p.Stop(), lambda: p.RetrieveNextBuffer(random.choice([0, 5, 0xFFFFFFFF])),
             lambda: p.SetBufferCount(random.randint(1, 4))]
    frees = [lambda: m.ZuStream_Free(s), lambda: m.delete_ZuPipeline(p),
             lambda: tb._tarn_base_310.delete_ZuBuffer(random.choice(buffers))]

    def hammer():
        for _ in range(200):
            try:
                random.choice(calls)()
            except TypeError:
                pass

    threads = [threading.Thread(target=hammer) for _ in range(3)]
    threads += [threading.Thread(target=random.choice(frees)) for _ in range(2)]
    random.shuffle(threads)
    for t in threads:
        t.start()
        time.sleep(random.random() * 0.01)
    for t in threads:
        t.join(60)
        assert not t.is_alive(), "a call outlived the free"
    m.delete_ZuPipeline(p)
    m.ZuStream_Free(s)
    rounds += 1
print("rounds", rounds, flush=True)
"""


@pytest.mark.parametrize("seed", [1, 2])
def test_frees_and_calls_from_many_threads_for_a_while(py, seed):
    result = py(STRESS.format(seed=seed, seconds=STRESS_SECONDS), env=WITH_SUPPORT, check=False,
                timeout=120 + 10 * STRESS_SECONDS)
    assert result.returncode == 0 and result.stdout.startswith("rounds "), result.stdout + result.stderr
