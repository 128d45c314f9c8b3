"""Whether a call lets other Python threads run while it waits.

Every SDK call that can wait (a discovery, a device read, a stream's wait
for a buffer, a sink's deletion waiting for a native thread) must release
the interpreter lock meanwhile. `other_threads_ran_during(call)` tells
whether it did, without any timing assumption: the switch interval is
raised so far that the calling thread never hands the lock over on its own,
so the watching thread can only run inside the call if the call released
the lock. The call must wait for at least a few milliseconds."""
import sys
import threading
import time


def other_threads_ran_during(call, *args, **kwargs):
    """Runs call(*args, **kwargs); returns (ran, result), where ran tells
    whether another Python thread ran while the call was inside."""
    inside = [False]
    ran = threading.Event()
    done = threading.Event()
    started = threading.Event()

    def watch():
        started.set()
        while not done.is_set():
            if inside[0]:
                ran.set()
                return
            time.sleep(0.001)  # releases the lock

    watcher = threading.Thread(target=watch, daemon=True)
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    try:
        watcher.start()
        started.wait()
        inside[0] = True
        result = call(*args, **kwargs)
        inside[0] = False
    finally:
        inside[0] = False
        sys.setswitchinterval(interval)
        done.set()
        watcher.join()
    return ran.is_set(), result


def assert_releases_the_interpreter(call, *args, **kwargs):
    """Fails when call(*args, **kwargs) keeps the interpreter lock while it
    waits; returns the call's result."""
    ran, result = other_threads_ran_during(call, *args, **kwargs)
    assert ran, f"{getattr(call, '__qualname__', call)} kept the interpreter lock while it waited"
    return result
