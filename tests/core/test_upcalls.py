"""Every director class, through the one up-call path: a method that raises,
one whose result has the wrong shape and one that is missing each fail the
call with their error (the first two with the director's line), and the next
ordinary call, an up-call included, works: nothing is left pending."""
import gc
import weakref

import pytest

import _tarn_base_310 as rb
import _tarn_edge_310 as re_
import _tarn_receive_310 as rr
import tarn_base_310 as tb
import tarn_edge_310 as te
import tarn_receive_310 as tr

# (raw module, separator, class, constructor arguments, method, its arguments,
#  whether it returns a ZuResult)
CLASSES = [
    (rb, "", tb.ZuLogSink, (), "Log", (1, "a", 2, "b", "c", "d"), False),
    (rr, "", tr.ZuDeviceEventSink, (), "OnLinkDisconnected", (None,), False),
    (rr, "", tr.IUpdaterObserver, (), "UpdateProgressLabel", ("half",), False),
    (rr, "", tr.ZuPipelineEventSink, (), "OnStart", (None,), False),
    (re_, ": ", te.IZuVirtualDeviceGEVEventSink, (), "OnApplicationDisconnect", (None,), False),
    (re_, ": ", te.IZuUserSetNotify, (), "UserSetStateNotify", (0, 0), True),
    (re_, ": ", te.IZuStreamingChannelSource, (), "SetWidth", (5,), True),
    (re_, ": ", te.IZuSWStreamingChannelSource, (), "QueueBuffer", (None,), True),
    (re_, ": ", te.IZuSWStreamingChannelSourceGenDC, (), "QueueBuffer", (None,), True),
    (re_, ": ", te.ZuStreamingChannelSourceDefault, (), "QueueBuffer", (None,), True),
    (re_, ": ", te.ZuStreamingChannelSourceTrigger, (0, 0x20000), "QueueBuffer", (None,), True),
    (re_, ": ", te.IZuRegisterEventSink, (), "PreRead", (None,), True),
    (re_, ": ", te.IZuTriggerCallback, (), "TriggerCallbackMethod", (None,), False),
]


def subclass(base, args, method, body):
    def __init__(self):
        base.__init__(self, *args)
    return type("Scripted" + base.__name__, (base,), {"__init__": __init__, method: body})()


def up_call(raw, cls, obj, method, args):
    # Through the bare pointer object, the call is the virtual one that the
    # SDK makes: it reaches the Python method through the director.
    # Inherited operations are the declaring class's functions.
    owner = next(c for c in cls.__mro__ if hasattr(raw, f"{c.__name__}_{method}"))
    return getattr(raw, f"{owner.__name__}_{method}")(obj.this if hasattr(obj, "this") else obj, *args)


@pytest.mark.parametrize("raw, sep, cls, ctor, method, args, result", CLASSES, ids=[c[2].__name__ for c in CLASSES])
def test_a_failing_up_call_fails_its_call_and_leaves_nothing_behind(capfd, raw, sep, cls, ctor, method, args, result):
    def raises(self, *a):
        raise ValueError("boom")

    failing = subclass(cls, ctor, method, raises)
    with pytest.raises(RuntimeError) as raised:
        up_call(raw, cls, failing, method, args)
    line = f"In method '{method}': ValueError{sep}boom"
    assert str(raised.value) == "SWIG director method error. " + line
    assert capfd.readouterr().out == line + "\n"

    if result:
        shaped = subclass(cls, ctor, method, lambda self, *a: None)
        with pytest.raises(TypeError) as raised:
            up_call(raw, cls, shaped, method, args)
        text = f"SWIG director type mismatch in method {method} with output value of type 'ZuResult'"
        assert str(raised.value) == text
        assert capfd.readouterr().out == f"In method '{method}': TypeError{sep}{text}\n"

    class Nothing:
        pass
    missing = getattr(raw, "new_" + cls.__name__)(Nothing(), *ctor)
    with pytest.raises(AttributeError):
        up_call(raw, cls, missing, method, args)
    assert capfd.readouterr().out == ""
    getattr(raw, "delete_" + cls.__name__)(missing)

    calls = []
    working = subclass(cls, ctor, method, lambda self, *a: calls.append(a) or (te.ZU_OK if result else None))
    answer = up_call(raw, cls, working, method, args)
    assert calls == [args] and (answer.IsOK() if result else answer is None)
    assert tb.ZuResult(0).IsOK()
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("kind", ["bare", "proxy"])
def test_an_up_call_inside_a_call_that_lets_the_lock_go_is_raised_or_dropped_never_left(capfd, kind):
    # The pipeline calls its sinks on the calling thread, with the lock let go:
    # Start ends with their error; SetBufferCount and deletion go on, their
    # lines printed, and nothing surfaces in the next calls.
    class Sink(tr.ZuPipelineEventSink):
        def OnBufferCreated(self, pipeline, buffer):
            raise ValueError("created")

        def OnBufferDeleted(self, pipeline, buffer):
            raise KeyError("deleted")

    stream = tr.ZuStreamGEV()
    assert stream.Open(tb.ZuString("127.0.0.1"), 0).IsOK()
    pipeline, sink = tr.ZuPipeline(stream), Sink()
    p = pipeline.this if kind == "bare" else pipeline
    assert rr.ZuPipeline_RegisterEventSink(p, sink).IsOK()
    assert rr.ZuPipeline_SetBufferCount(p, 4).IsOK()
    with pytest.raises(RuntimeError, match="In method 'OnBufferCreated': ValueErrorcreated"):
        rr.ZuPipeline_Start(p)
    rr.ZuPipeline_Stop(p)
    assert rr.ZuPipeline_SetBufferCount(p, 4).IsOK()
    assert tb.ZuResult(0).IsOK() and rr.ZuPipeline_GetBufferCount(p) == 4
    del p, pipeline
    assert tb.ZuResult(0).IsOK()
    out = capfd.readouterr().out
    assert "In method 'OnBufferCreated': ValueErrorcreated\n" in out
    assert "In method 'OnBufferDeleted': KeyError'deleted'\n" in out
    tr.ZuStream.Free(stream)


def test_the_factories_lent_to_the_creation_callbacks_refuse_use_afterwards(py):
    # A script that keeps a factory gets the freed object's argument error,
    # through its proxy and through the bare pointer object alike.
    out = py("""
        import sys; sys.path.insert(0, "tests")
        import tarn_edge_310 as te, _tarn_edge_310 as raw
        from support.softcamera import NumpySource, loopback_mac

        class Script(te.IZuVirtualDeviceGEVEventSink):
            def OnCreateCustomRegisters(self, device, factory):
                self.registers = factory
                assert factory.AddRegister("Kept", 0x20000, 4, te.ZuGenAccessModeReadWrite, None).IsOK()
            def OnCreateCustomGenApiFeatures(self, device, factory):
                self.features = factory

        device, script = te.ZuSoftDeviceGEV(), Script()
        device.AddStream(NumpySource())
        device.RegisterEventSink(script)
        assert device.Start(loopback_mac(91)).IsOK()
        for call in (lambda: script.registers.AddRegister("Late", 0x20004, 4, te.ZuGenAccessModeReadWrite, None),
                     lambda: raw.IZuRegisterFactory_AddRegister(script.registers.this, "Late", 0x20004, 4, 3, None),
                     lambda: script.features.SetName("Late"),
                     lambda: raw.IZuGenApiFactory_CreateInteger(script.features.this, None)):
            try:
                call()
                print("no error")
            except TypeError as error:
                print(str(error).split(",")[0])
        device.Stop()
    """).stdout
    assert out.splitlines() == [
        "in method 'IZuRegisterFactory_AddRegister'", "in method 'IZuRegisterFactory_AddRegister'",
        "in method 'IZuGenApiFactory_SetName'", "in method 'IZuGenApiFactory_CreateInteger'"]


def test_one_exit_hook_stops_pipelines_then_devices_while_their_up_calls_still_run(py):
    out = py("""
        import sys; sys.path.insert(0, "tests")
        import atexit
        import tarn_base_310 as tb, tarn_receive_310 as tr, tarn_edge_310 as te
        from support.softcamera import NumpySource, loopback_mac

        class Source(NumpySource):
            def OnStreamingStop(self):
                print("device stops", flush=True)
                return super().OnStreamingStop()

        class Sink(tr.ZuPipelineEventSink):
            def OnStop(self, pipeline):
                print("pipeline stops", flush=True)

        device, source = te.ZuSoftDeviceGEV(), Source()
        device.AddStream(source)
        assert device.Start(loopback_mac(92)).IsOK()
        stream = tr.ZuStreamGEV()
        assert stream.Open(tb.ZuString("127.0.0.1"), 0).IsOK()
        pipeline, sink = tr.ZuPipeline(stream), Sink()
        pipeline.RegisterEventSink(sink)
        assert pipeline.Start().IsOK()
        atexit.register(lambda: print("application exits", flush=True))
        print("end", flush=True)
    """).stdout
    assert out.splitlines()[:3] == ["end", "application exits", "pipeline stops"]


@pytest.mark.parametrize("raw, sep, cls, ctor, method, args, result", CLASSES, ids=[c[2].__name__ for c in CLASSES])
def test_a_director_holds_an_object_it_was_made_for_by_the_raw_module_until_deleted(raw, sep, cls, ctor, method, args, result):
    """A proxy owns its director, which borrows it; any other object has no
    owner but the director, and its up-calls must not reach freed memory."""
    class Nothing:
        pass
    given, proxy = Nothing(), subclass(cls, ctor, method, lambda self, *a: None)
    # A proxy of the class that was never built stands for nothing either.
    unbuilt = type("Unbuilt", (cls,), {"__init__": lambda self: None})()
    gone = weakref.ref(given), weakref.ref(proxy), weakref.ref(unbuilt)
    made = [getattr(raw, "new_" + cls.__name__)(obj, *ctor) for obj in (given, unbuilt)]
    del given, proxy, unbuilt
    gc.collect()
    assert gone[0]() is not None and gone[1]() is None and gone[2]() is not None
    for each in made:
        getattr(raw, "delete_" + cls.__name__)(each)
    assert gone[0]() is None and gone[2]() is None
