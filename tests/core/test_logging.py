"""The SDK's logger and Python log sinks, entered from Python and native threads."""
import ctypes
import gc
import sys
import threading

import pytest

import tarn_base_310 as tb
from support import BUILD

m = tb._tarn_base_310


def destroy(sink):
    # Once called, a sink's director holds its bound method: only an explicit
    # delete ends its life (and its part in the SDK's logging).
    type(sink).__swig_destroy__(sink)


class Recorder(tb.ZuLogSink):
    def __init__(self):
        super().__init__()
        self.entries = []
        self.threads = set()

    def Log(self, *args):
        self.entries.append(args)
        self.threads.add(threading.get_ident())


@pytest.fixture
def recorder():
    sink = Recorder()
    yield sink
    destroy(sink)


@pytest.fixture
def logger():
    lg = tb.ZuLogger("test")
    lg.SetLogPriority(tb.ZuLogLevelDebug)
    return lg


@pytest.fixture(scope="module")
def loghook():
    lib = ctypes.CDLL(str(BUILD / "tests-lib" / "libtarn_test_loghook.so"))
    lib.tarn_test_log_from_native_thread.argtypes = [ctypes.c_char_p, ctypes.c_int]
    return lib.tarn_test_log_from_native_thread


@pytest.mark.parametrize("method, level", [
    ("LogInfo", tb.ZuLogLevelInfo), ("LogError", tb.ZuLogLevelError), ("LogWarning", tb.ZuLogLevelWarning),
    ("LogCritical", tb.ZuLogLevelCritical), ("LogDebug", tb.ZuLogLevelDebug),
])
def test_sink_receives_entries(recorder, logger, method, level):
    getattr(logger, method)("cam.c", 42, "Grab", "frame lost")
    assert recorder.entries == [(level, "test", 42, "cam.c", "Grab", "frame lost")]


def test_null_texts_and_priority(recorder, logger):
    logger.LogInfo(None, 1, None, "m")
    assert recorder.entries == [(tb.ZuLogLevelInfo, "test", 1, None, None, "m")]
    logger.SetLogPriority(tb.ZuLogLevelError)
    assert logger.GetLogPriority() == tb.ZuLogLevelError
    logger.LogWarning("f", 2, "g", "filtered")
    logger.LogError("f", 3, "g", "kept")
    assert [e[-1] for e in recorder.entries] == ["m", "kept"]


def test_sink_from_native_thread(recorder, loghook):
    loghook(b"bad \xff byte", 3)
    assert [e[-1] for e in recorder.entries] == ["bad \udcff byte"] * 3
    assert [e[1] for e in recorder.entries] == ["native"] * 3
    assert threading.get_ident() not in recorder.threads


def test_sink_from_python_threads(recorder, logger):
    threads = [threading.Thread(target=logger.LogInfo, args=("f", i, "g", "t")) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert sorted(e[2] for e in recorder.entries) == list(range(8))


def test_sinks_join_and_leave_from_inside_log_while_others_log(loghook, logger):
    class Quiet(tb.ZuLogSink):
        def Log(self, *args):
            pass

    class Churning(tb.ZuLogSink):
        def Log(self, *args):
            destroy(Quiet())

    churning, kept = Churning(), Recorder()
    worker = threading.Thread(target=loghook, args=(b"native", 3000))
    try:
        worker.start()
        for i in range(3000):
            logger.LogInfo("f", i, "g", "python")
        worker.join()
    finally:
        destroy(churning)
        destroy(kept)
    assert sorted(e[-1] for e in kept.entries) == ["native"] * 3000 + ["python"] * 3000


def test_sink_leaves_logging_when_deleted(logger):
    sink = Recorder()
    logger.LogInfo("f", 1, "g", "seen")
    destroy(sink)
    logger.LogInfo("f", 2, "g", "not seen")
    assert [e[-1] for e in sink.entries] == ["seen"]


def test_failing_sink_prints_and_raises(capfd, module):
    separator, module = module.separator, module.proxy

    class Failing(module.ZuLogSink):
        def Log(self, *args):
            raise ValueError("bad level")

    sink = Failing()
    lg = module.ZuLogger("x")
    try:
        with pytest.raises(RuntimeError) as info:
            lg.LogError("f", 1, "g", "m")
        line = f"In method 'Log': ValueError{separator}bad level"
        assert str(info.value) == "SWIG director method error. " + line
        assert capfd.readouterr().out == line + "\n"
    finally:
        destroy(sink)


def test_failing_sink_does_not_cost_later_sinks_their_entry(capfd, module):
    module = module.proxy

    class Failing(module.ZuLogSink):
        def Log(self, *args):
            raise ValueError(args[-1])

    class Keeping(module.ZuLogSink):
        def __init__(self):
            super().__init__()
            self.entries = []

        def Log(self, *args):
            self.entries.append(args[-1])

    first, kept, second = Failing(), Keeping(), Failing()
    lg = module.ZuLogger("x")
    try:
        with pytest.raises(RuntimeError, match="first$"):
            lg.LogError("f", 1, "g", "first")
        assert kept.entries == ["first"]
        # Both failures are printed; the first is the one raised.
        assert capfd.readouterr().out.count("In method 'Log'") == 2
        destroy(first)
        destroy(second)
        lg.LogError("f", 2, "g", "clean")
        assert kept.entries == ["first", "clean"]
    finally:
        for sink in (first, kept, second):
            destroy(sink)


def test_sink_whose_object_has_no_log(capfd, logger):
    class NoLog:
        pass

    served = NoLog()
    ptr = m.new_ZuLogSink(served)
    kept = Recorder()
    try:
        # The failed look-up's own error is the one raised; nothing is printed.
        for _ in range(2):
            with pytest.raises(AttributeError, match="'NoLog' object has no attribute 'Log'"):
                logger.LogInfo("f", 1, "g", "m")
        with pytest.raises(AttributeError):
            m.ZuLogSink_Log(ptr, 1, "a", 2, "b", "c", "d")
        assert capfd.readouterr().out == ""
        assert [e[-1] for e in kept.entries] == ["m", "m"]
    finally:
        m.delete_ZuLogSink(ptr)
        destroy(kept)


def test_failing_sink_on_native_thread_does_not_end_process(capfd, loghook):
    class Failing(tb.ZuLogSink):
        def Log(self, *args):
            raise KeyError("boom")

    sink = Failing()
    try:
        loghook(b"m", 2)
    finally:
        destroy(sink)
    assert capfd.readouterr().out == "In method 'Log': KeyError'boom'\n" * 2


def test_sink_without_log_override(capfd, logger):
    class Lazy(tb.ZuLogSink):
        pass

    sink = Lazy()
    try:
        with pytest.raises(RuntimeError, match="SWIG director pure virtual method called ZuLogSink::Log"):
            logger.LogInfo("f", 1, "g", "m")
        assert capfd.readouterr().out == (
            "In method 'Log': RuntimeErrorSWIG director pure virtual method called ZuLogSink::Log\n")
        with pytest.raises(RuntimeError, match="^SWIG director pure virtual method called ZuLogSink::Log$"):
            sink.Log(1, "a", 2, "b", "c", "d")
    finally:
        destroy(sink)


def test_abstract_sink_cannot_be_built():
    with pytest.raises(RuntimeError, match="^accessing abstract class or protected constructor$"):
        tb.ZuLogSink()


def test_method_is_looked_up_once(recorder, logger):
    calls = []
    recorder.Log = lambda *a: calls.append("replaced")
    logger.LogInfo("f", 1, "g", "first")
    recorder.Log = lambda *a: calls.append("too late")
    logger.LogInfo("f", 2, "g", "second")
    assert calls == ["replaced", "replaced"] and recorder.entries == []


def test_return_value_is_ignored(logger):
    class Returning(tb.ZuLogSink):
        def Log(self, *args):
            return 42

    sink = Returning()
    try:
        logger.LogInfo("f", 1, "g", "m")
    finally:
        destroy(sink)


@pytest.mark.parametrize("args, exc, text", [
    ((2147483648, "a", 1, "b", "c", "d"), OverflowError, "in method 'ZuLogSink_Log', argument 2 of type 'ZuLogLevelEnum'"),
    ((1, "a", -1, "b", "c", "d"), OverflowError, "in method 'ZuLogSink_Log', argument 4 of type 'uint32_t'"),
    ((1, b"a", 1, "b", "c", "d"), TypeError, "in method 'ZuLogSink_Log', argument 3 of type 'char const *'"),
])
def test_sink_log_argument_errors(recorder, args, exc, text):
    with pytest.raises(exc) as info:
        m.ZuLogSink_Log(recorder, *args)
    assert str(info.value) == text


@pytest.mark.parametrize("func, args, exc, text", [
    (m.ZuLogger_SetLogPriority, ("3",), TypeError, "in method 'ZuLogger_SetLogPriority', argument 2 of type 'int32_t'"),
    (m.ZuLogger_LogInfo, ("f", 2**31, "g", "m"), OverflowError, "in method 'ZuLogger_LogInfo', argument 3 of type 'int'"),
    (m.ZuLogger_LogInfo, (1, 1, "g", "m"), TypeError, "in method 'ZuLogger_LogInfo', argument 2 of type 'char const *'"),
])
def test_logger_argument_errors(logger, func, args, exc, text):
    with pytest.raises(exc) as info:
        func(logger, *args)
    assert str(info.value) == text


def test_sink_log_refuses_none_object():
    with pytest.raises(TypeError, match="argument 1 of type 'ZuLogSink \\*'"):
        m.ZuLogSink_Log(None, 1, "a", 1, "b", "c", "d")


def test_disown_takes_one_reference(logger):
    sink = Recorder()
    before = sys.getrefcount(sink)
    m.disown_ZuLogSink(sink)
    m.disown_ZuLogSink(sink)
    assert sys.getrefcount(sink) == before + 1
    m.disown_ZuLogSink(None)
    destroy(sink)
    assert sys.getrefcount(sink) == before


def test_unused_sink_is_freed_with_its_proxy(logger):
    sink = Recorder()
    gc.collect()
    del sink
    gc.collect()
    logger.LogInfo("f", 1, "g", "nobody")  # must not reach a freed sink


def test_deleting_a_sink_waits_for_the_native_thread_inside_its_log(py):
    """Run apart: a deletion that kept the interpreter lock while it waits
    would deadlock with the Log it waits for, and the time limit ends it."""
    out = py(f"""
        import ctypes, threading
        import tarn_base_310 as tb
        hook = ctypes.CDLL({str(BUILD / "tests-lib" / "libtarn_test_loghook.so")!r}).tarn_test_log_from_native_thread
        hook.argtypes = [ctypes.c_char_p, ctypes.c_int]
        entered, release, deleted = threading.Event(), threading.Event(), threading.Event()

        class Slow(tb.ZuLogSink):
            def Log(self, *args):
                entered.set()
                release.wait(30)

        sink = Slow()
        native = threading.Thread(target=hook, args=(b"slow", 1))
        native.start()
        assert entered.wait(30)

        def delete():
            type(sink).__swig_destroy__(sink)
            deleted.set()

        deleter = threading.Thread(target=delete)
        deleter.start()
        # A deletion that does not wait is over at once; one that waits
        # holds until Log returns.
        print("early" if deleted.wait(1.0) else "waited")
        release.set()
        native.join()
        deleter.join()
        print("deleted" if deleted.is_set() else "not deleted")
    """, timeout=60).stdout.split()
    assert out == ["waited", "deleted"]


def test_a_sink_that_left_is_not_called_again(logger):
    class Leaving(Recorder):
        def Log(self, *args):
            super().Log(*args)
            if len(self.entries) == 1:
                destroy(later)  # joined after this one: next in line for the same entry

    first, later = Leaving(), Recorder()
    try:
        logger.LogInfo("f", 1, "g", "first")
        logger.LogInfo("f", 2, "g", "second")
    finally:
        destroy(first)
    assert [e[-1] for e in first.entries] == ["first", "second"]
    assert later.entries == []


def test_a_sink_is_called_only_once_it_is_whole(py):
    # A native thread logs without pause while Python makes sinks: one called
    # before its Python part exists would end the process.
    py(f"""
        import ctypes, threading
        import tarn_base_310 as tb
        hook = ctypes.CDLL({str(BUILD / "tests-lib" / "libtarn_test_loghook.so")!r}).tarn_test_log_from_native_thread
        hook.argtypes = [ctypes.c_char_p, ctypes.c_int]

        class Quiet(tb.ZuLogSink):
            def Log(self, *args):
                pass

        worker = threading.Thread(target=hook, args=(b"native", 3000000))
        worker.start()
        made = 0
        while worker.is_alive() or made < 1000:
            sink = Quiet()
            type(sink).__swig_destroy__(sink)
            made += 1
        worker.join()
        """)
