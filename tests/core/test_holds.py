"""What the SDK is handed stays alive while a native object uses it, held
for that native object whatever stands for it in Python (a proxy or a bare
pointer object of the raw modules), and goes when the native object goes or
lets go of it."""
import gc
import os
import weakref

import pytest

import _tarn_base_310 as rb
import _tarn_edge_310 as re_
import _tarn_receive_310 as rr
import tarn_base_310  # noqa: F401  (the classes of what the raw calls return)
import tarn_edge_310 as te
import tarn_receive_310 as tr
import tarn_genicam_testext as ext
from support import ROOT, needs_netns


def owner_as(kind, proxy):
    """The owner a raw call is given: the proxy itself or its bare pointer object."""
    return proxy.this if kind == "bare" else proxy


def alive(ref):
    gc.collect()
    return ref() is not None


OWNERS = ["bare", "proxy"]


@pytest.mark.parametrize("kind", OWNERS)
def test_a_responder_holds_its_transmitters_until_it_goes(kind):
    responder = te.ZuVirtualDeviceGEV()
    tx = te.ZuTransmitterGEV()
    held = weakref.ref(tx)
    assert re_.ZuVirtualDeviceGEV_AddTransmitterGEV(owner_as(kind, responder), tx).IsOK()
    del tx
    assert alive(held)
    del responder
    assert not alive(held)


@pytest.mark.parametrize("kind", OWNERS)
def test_a_trigger_source_holds_its_selectors_and_callbacks_per_selector(kind):
    class Source(te.ZuStreamingChannelSourceTrigger):
        def __init__(self):
            super().__init__(0, 0x20000)

    class Callback(te.IZuTriggerCallback):
        def TriggerCallbackMethod(self, selector):
            pass

    source, selector, callback = Source(), te.ZuTriggerSelectorFrameStart(), Callback()
    refs = weakref.ref(selector), weakref.ref(callback)
    re_.ZuStreamingChannelSourceTrigger_AddSelector(owner_as(kind, source), te.TRIGGER_SELECTOR_FRAMESTART, selector)
    re_.ZuStreamingChannelSourceTrigger_AddSelectorTriggerCallback(owner_as(kind, source), te.TRIGGER_SELECTOR_FRAMESTART, callback)
    del selector, callback
    assert alive(refs[0]) and alive(refs[1])
    # Another selector's entry leaves this one's alone; replacing it lets it go.
    re_.ZuStreamingChannelSourceTrigger_AddSelector(owner_as(kind, source), te.TRIGGER_SELECTOR_LINESTART, None)
    assert alive(refs[0])
    re_.ZuStreamingChannelSourceTrigger_AddSelector(owner_as(kind, source), te.TRIGGER_SELECTOR_FRAMESTART, None)
    assert not alive(refs[0]) and alive(refs[1])
    del source
    assert not alive(refs[1])


@pytest.mark.parametrize("kind", OWNERS)
@pytest.mark.parametrize("end", ["Clear", "gone"])
def test_a_parameter_list_holds_its_items_until_cleared_or_gone(kind, end):
    array = ext.LoadCamera()
    lst = tarn_base_310.ZuGenParameterList()
    width = array.Get("Width")
    held = weakref.ref(width)
    rb.ZuGenParameterList_Add(owner_as(kind, lst), width)
    del width
    assert alive(held)
    assert rb.ZuGenParameter_GetName(rb.ZuGenParameterList_GetItem(owner_as(kind, lst), 0))[1] == "Width"
    if end == "Clear":
        rb.ZuGenParameterList_Clear(owner_as(kind, lst))
    else:
        del lst
    assert not alive(held)


@pytest.mark.parametrize("kind", OWNERS)
def test_a_pipeline_holds_its_sinks_while_registered(kind):
    stream = tr.ZuStreamGEV()
    pipeline = tr.ZuPipeline(stream)

    class Sink(tr.ZuPipelineEventSink):
        pass

    sinks = [Sink(), Sink()]
    refs = [weakref.ref(s) for s in sinks]
    for sink in sinks:
        assert rr.ZuPipeline_RegisterEventSink(owner_as(kind, pipeline), sink).IsOK()
    del sinks, sink
    assert alive(refs[0]) and alive(refs[1])
    assert rr.ZuPipeline_UnregisterEventSink(owner_as(kind, pipeline), refs[0]()).IsOK()
    assert not alive(refs[0]) and alive(refs[1])
    del pipeline
    assert not alive(refs[1])
    tr.ZuStream.Free(stream)


@needs_netns()
@pytest.mark.parametrize("kept_bare", [False, True], ids=["proxies", "a pointer object kept"])
def test_an_owner_its_sink_keeps_is_collected_with_it(py, kept_bare):
    # A sink that keeps its pipeline or camera: a plain cycle, which the
    # collector frees, the pipeline's thread joined, while a pipeline still
    # reachable goes on with its sink. One whose pointer object the script
    # kept is not the proxy's alone: it stays, with its sink.
    out = py(f"""
        import gc, weakref
        import tarn_base_310, tarn_receive_310 as tr, tarn_edge_310 as te
        from support.streams import open_towards
        def threads():
            return int(next(l for l in open("/proc/self/status") if l.startswith("Threads:")).split()[1])
        class Keeper:
            def __init__(self, owner):
                super().__init__()
                self.owner = owner
        class PipelineKeeper(Keeper, tr.ZuPipelineEventSink): pass
        class CameraKeeper(Keeper, te.IZuVirtualDeviceGEVEventSink): pass
        streams = [open_towards(f"127.0.41.{{210 + k}}")[1] for k in range(4)]
        gc.collect()
        before = threads()
        refs, bare = [], []
        for stream in streams[:3]:
            p = tr.ZuPipeline(stream)
            p.RegisterEventSink(PipelineKeeper(p))
            assert p.Start().IsOK()
            camera = te.ZuSoftDeviceGEV()
            camera.RegisterEventSink(CameraKeeper(camera))
            refs += [weakref.ref(p), weakref.ref(camera)]
            if {kept_bare}:
                bare += [p.this, camera.this]
            del p, camera
        reachable = tr.ZuPipeline(streams[3])
        reachable.RegisterEventSink(PipelineKeeper(reachable))
        assert reachable.Start().IsOK()
        gc.collect()
        print(threads() - before, sum(r() is not None for r in refs), reachable.IsStarted())
        print(all(tr._tarn_receive_310.ZuPipeline_IsStarted(b) for b in bare[::2]))
        del reachable, bare
        gc.collect()
        print(threads() - before)
        for stream in streams:
            tr.ZuStream.Free(stream)
    """, env={"TARN_IN_NETNS": "1", "PYTHONPATH": os.environ.get("PYTHONPATH", "") + ":" + str(ROOT / "tests")}).stdout
    if kept_bare:
        assert out.split() == ["4", "6", "True", "True", "0"]
    else:
        assert out.split() == ["1", "0", "True", "True", "0"]


@needs_netns()
@pytest.mark.parametrize("leaves_in", ["OnStart", "OnBufferReady"])
def test_a_sink_that_leaves_in_its_own_call_is_let_go_once_the_call_returns(py, leaves_in):
    # Nothing but the pipeline holds the sink: unregistered (or its pipeline
    # deleted) from inside its own call, on the calling thread or the
    # pipeline's, it must outlive that call, whose director is its own
    # (under AddressSanitizer a use of the freed director fails the run).
    out = py(f"""
        import gc, time, weakref
        import tarn_base_310, tarn_receive_310 as tr
        from support.streams import open_towards
        from support.devices import send_frames
        pipelines = []
        class Leaver(tr.ZuPipelineEventSink):
            def {leaves_in}(self, pipeline):
                if self.leave == "unregister":
                    pipeline.UnregisterEventSink(self)
                else:
                    pipelines.clear()
                self.after = list(range(1000))
        for address, leave in (("127.0.41.220", "unregister"), ("127.0.41.221", "delete")):
            r, stream = open_towards(address)
            pipelines.append(tr.ZuPipeline(stream))
            sink = Leaver()
            sink.leave = leave
            gone = weakref.ref(sink)
            pipelines[0].RegisterEventSink(sink)
            del sink
            pipelines[0].SetBufferSize(64 * 48)
            assert pipelines[0].Start().IsOK() or leave == "delete"
            if pipelines:
                send_frames(address, tr._tarn_receive_310.ZuStreamGEV_GetLocalPort(stream), 1, 64, 48, linger_ms=20)
            for _ in range(200):
                gc.collect()
                if gone() is None:
                    break
                time.sleep(0.05)
            print(gone() is None)
            pipelines.clear()
            tr.ZuStream.Free(stream)
    """, env={"TARN_IN_NETNS": "1", "PYTHONPATH": os.environ.get("PYTHONPATH", "") + ":" + str(ROOT / "tests")}).stdout
    assert out.split() == ["True", "True"]


def test_what_a_module_holds_another_lets_go(py):
    # One table for the process: a hold made through one module's function
    # goes when the native object goes through another's.
    out = py("""
        import gc, weakref
        import tarn_base_310, tarn_receive_310 as tr, tarn_edge_310 as te
        import tarn_genicam_testext as ext
        array = ext.LoadCamera()
        lst = tarn_base_310.ZuGenParameterList()
        width = array.Get("Width"); held = weakref.ref(width)
        tr._tarn_receive_310.ZuGenParameterList_Add(lst, width)
        del width; gc.collect()
        print(held() is not None)
        te._tarn_edge_310.delete_ZuGenParameterList(lst); gc.collect()
        print(held() is None)
    """).stdout
    assert out.split() == ["True", "True"]
