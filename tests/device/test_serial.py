"""The device serial port over the software camera's loopback bridge: what
is written comes back on the same port. Result shapes, argument texts, the
receive buffer, statistics, the echo sink, and ports whose adapter or device
went first."""
import threading

import numpy as np
import pytest

import tarn_receive_310 as tr
from support import error_of, needs_netns
from support.devices import start_test_device
from support.softcamera import SoftCamera
from support.threads import other_threads_ran_during

m = tr._tarn_receive_310
pytestmark = needs_netns()
CAMERA = 131
NO_BRIDGE = "127.0.0.132"


@pytest.fixture(scope="module")
def camera():
    with SoftCamera(CAMERA) as cam:
        yield cam


@pytest.fixture
def adapter(camera, connect):
    return tr.ZuDeviceAdapter(connect(camera.address))


@pytest.fixture
def port(adapter):
    port = m.new_ZuDeviceSerialPort()
    assert m.ZuDeviceSerialPort_Open(port, adapter, tr.ZuDeviceSerial0).IsOK()
    yield port
    m.delete_ZuDeviceSerialPort(port)


def u8(data):
    """Bytes as NumPy sees them (NumPy does not take bytes as numbers)."""
    return np.frombuffer(data, np.uint8)


def read_all(port, count, timeout=5000):
    """Reads until count bytes came or a read times out."""
    got = b""
    while len(got) < count:
        result, data, n = m.ZuDeviceSerialPort_Read(port, count - len(got), timeout)
        if not result.IsOK():
            break
        got += bytes(data[:n])
    return got


def test_written_bytes_come_back_with_counts_and_statistics(port):
    data = bytes((k * 7 + 3) & 0xFF for k in range(5000))   # past the device's window and FIFO
    result, written = m.ZuDeviceSerialPort_Write(port, np.frombuffer(data, np.uint8))
    assert result.IsOK() and written == 5000
    assert m.ZuDeviceSerialPort_GetWriteProgress(port)[1:] == [5000, 5000]
    assert read_all(port, 5000) == data
    assert m.ZuDeviceSerialPort_GetBytesSent(port) == 5000
    assert m.ZuDeviceSerialPort_GetBytesReceived(port) == 5000
    m.ZuDeviceSerialPort_ResetStatistics(port)
    assert (m.ZuDeviceSerialPort_GetBytesSent(port), m.ZuDeviceSerialPort_GetBytesReceived(port)) == (0, 0)
    # A list of small ints is bytes too.
    assert m.ZuDeviceSerialPort_Write(port, [1, 2, 255])[1] == 3
    assert read_all(port, 3) == b"\x01\x02\xff"


def test_read_shapes_when_nothing_or_less_arrives(port):
    result, data, n = m.ZuDeviceSerialPort_Read(port, 16, 0)
    assert result.GetCode() == tr.ZU_TIMEOUT and n == 0
    assert data.dtype == np.uint8 and data.shape == (16,) and not data.any()
    m.ZuDeviceSerialPort_Write(port, u8(b"abc"))
    result, data, n = m.ZuDeviceSerialPort_Read(port, 8, 2000)   # fewer came than asked
    assert result.IsOK() and n == 3 and bytes(data) == b"abc" + bytes(5)
    assert m.ZuDeviceSerialPort_Read(port, 0, 0)[0].IsOK()


def test_receive_buffer_size_flush_and_the_oldest_dropped(port):
    result, size = m.ZuDeviceSerialPort_GetRxBufferSize(port)
    assert result.IsOK() and size > 0
    assert m.ZuDeviceSerialPort_SetRxBufferSize(port, 0).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuDeviceSerialPort_SetRxBufferSize(port, 10).IsOK()
    assert m.ZuDeviceSerialPort_GetRxBufferSize(port)[1] == 10
    m.ZuDeviceSerialPort_Write(port, u8(bytes(range(25))))
    # All 25 arrive (the counter says so) but only the newest 10 are kept.
    for _ in range(500):
        if m.ZuDeviceSerialPort_GetBytesReceived(port) == 25:
            break
        threading.Event().wait(0.01)
    assert m.ZuDeviceSerialPort_GetRxBytesReady(port) == [m.ZuDeviceSerialPort_GetRxBytesReady(port)[0], 10]
    result, data, n = m.ZuDeviceSerialPort_Read(port, 32, 0)
    assert n == 10 and bytes(data[:n]) == bytes(range(15, 25))
    m.ZuDeviceSerialPort_Write(port, u8(b"xyz"))
    for _ in range(500):
        if m.ZuDeviceSerialPort_GetRxBytesReady(port)[1] == 3:
            break
        threading.Event().wait(0.01)
    assert m.ZuDeviceSerialPort_FlushRxBuffer(port).IsOK()
    assert m.ZuDeviceSerialPort_GetRxBytesReady(port)[1] == 0
    m.ZuDeviceSerialPort_Write(port, u8(b"q"))
    assert read_all(port, 1) == b"q"
    assert m.ZuDeviceSerialPort_SetRxBufferSize(port, 100).IsOK()   # resizing flushes
    assert m.ZuDeviceSerialPort_GetRxBytesReady(port)[1] == 0


def test_ports_of_the_device_and_of_others(camera, adapter, connect):
    assert m.ZuDeviceSerialPort_IsSupported(adapter, tr.ZuDeviceSerialBulk7) is True
    assert m.ZuDeviceSerialPort_IsSupported(adapter, 10) is False
    assert m.ZuDeviceSerialPort_IsSupported(adapter, -1) is False
    assert m.ZuDeviceSerialPort_IsSupported(None, 0) is False
    port = m.new_ZuDeviceSerialPort()
    assert m.ZuDeviceSerialPort_Open(port, adapter, tr.ZuDeviceSerialBulk0).IsOK()  # 2
    assert m.ZuDeviceSerialPort_IsOpened(port) is True
    assert m.ZuDeviceSerialPort_Open(port, adapter, 0).GetCode() == tr.ZU_STATE_ERROR
    # Bulk 0 is its own port: serial 0 does not hear it.
    other = m.new_ZuDeviceSerialPort()
    assert m.ZuDeviceSerialPort_Open(other, adapter, 0).IsOK()
    m.ZuDeviceSerialPort_Write(port, u8(b"bulk"))
    assert read_all(port, 4) == b"bulk"
    assert m.ZuDeviceSerialPort_Read(other, 4, 0)[2] == 0
    assert m.ZuDeviceSerialPort_Close(port).IsOK()
    assert m.ZuDeviceSerialPort_Close(port).GetCode() == tr.ZU_NOT_CONNECTED
    assert m.ZuDeviceSerialPort_IsOpened(port) is False
    assert m.ZuDeviceSerialPort_Open(port, None, 0).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuDeviceSerialPort_Open(port, adapter, 10).GetCode() == tr.ZU_NOT_SUPPORTED
    m.delete_ZuDeviceSerialPort(other)
    # A device without the bridge has no serial port.
    device = start_test_device(NO_BRIDGE, mac="02:00:00:00:01:84")
    try:
        plain = tr.ZuDeviceAdapter(connect(NO_BRIDGE))
        assert m.ZuDeviceSerialPort_IsSupported(plain, 0) is False
        assert m.ZuDeviceSerialPort_Open(port, plain, 0).GetCode() == tr.ZU_NOT_SUPPORTED
    finally:
        device.stop()
    m.delete_ZuDeviceSerialPort(port)


def test_a_closed_port_answers_with_zeros():
    port = m.new_ZuDeviceSerialPort()
    result, data, n = m.ZuDeviceSerialPort_Read(port, 8, 0)
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and n == 0 and not data.any() and len(data) == 8
    result, n = m.ZuDeviceSerialPort_Write(port, u8(b"abc"))
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and n == 0
    assert m.ZuDeviceSerialPort_GetWriteProgress(port)[0].GetCode() == tr.ZU_STATE_ERROR
    for name in ("GetRxBytesReady", "GetRxBufferSize"):
        result, count = getattr(m, "ZuDeviceSerialPort_" + name)(port)
        assert result.GetCode() == tr.ZU_NOT_CONNECTED and count == 0
    for name in ("FlushRxBuffer", "NotifyReadComplete", "Close"):
        assert getattr(m, "ZuDeviceSerialPort_" + name)(port).GetCode() == tr.ZU_NOT_CONNECTED
    m.delete_ZuDeviceSerialPort(port)


def test_argument_errors():
    port = m.new_ZuDeviceSerialPort()
    assert error_of(m.ZuDeviceSerialPort_Read, port, 16) == (
        TypeError, "ZuDeviceSerialPort_Read expected 3 arguments, got 2")
    assert error_of(m.ZuDeviceSerialPort_Read, port, "16", 0) == (TypeError, "Int dimension expected.  'str' given.")
    assert error_of(m.ZuDeviceSerialPort_Read, port, 16, -1) == (
        OverflowError, "in method 'ZuDeviceSerialPort_Read', argument 5 of type 'uint32_t'")
    assert error_of(m.ZuDeviceSerialPort_Read, port, 2**31, 0)[0] is OverflowError
    assert error_of(m.ZuDeviceSerialPort_Write, port, np.zeros((2, 2), np.uint8)) == (
        TypeError, "Array must have 1 dimensions.  Given array has 2 dimensions")
    assert error_of(m.ZuDeviceSerialPort_Open, port, "adapter", 0) == (
        TypeError, "in method 'ZuDeviceSerialPort_Open', argument 2 of type 'IZuDeviceAdapter *'")
    assert error_of(m.ZuDeviceSerialPort_Open, port, None, "0") == (
        TypeError, "in method 'ZuDeviceSerialPort_Open', argument 3 of type 'ZuDeviceSerial'")
    assert error_of(m.ZuDeviceSerialPort_Open, port, None, 2**31)[0] is OverflowError
    assert error_of(m.ZuDeviceSerialPort_IsSupported, 1, 0) == (
        TypeError, "in method 'ZuDeviceSerialPort_IsSupported', argument 1 of type 'IZuDeviceAdapter *'")
    assert error_of(m.ZuDeviceSerialPort_RegisterEchoSink, 1) == (
        TypeError, "in method 'ZuDeviceSerialPort_RegisterEchoSink', argument 1 of type 'ZuDeviceSerialPortEchoSink *'")
    assert error_of(m.ZuDeviceSerialPort_GetBytesSent, 1) == (
        TypeError, "in method 'ZuDeviceSerialPort_GetBytesSent', argument 1 of type 'ZuDeviceSerialPort const *'")
    assert m.ZuDeviceSerialPort_RegisterEchoSink(None).GetCode() == tr.ZU_INVALID_PARAMETER
    assert m.ZuDeviceSerialPort_UnregisterEchoSink(None).GetCode() == tr.ZU_INVALID_PARAMETER
    assert (tr.ZuDeviceSerialInvalid, tr.ZuDeviceSerial1, tr.ZuDeviceSerialBulk7) == (-1, 1, 9)
    m.delete_ZuDeviceSerialPort(port)


def test_waits_let_other_threads_run_and_write_progress_is_readable_meanwhile(port):
    ran, (result, data, n) = other_threads_ran_during(m.ZuDeviceSerialPort_Read, port, 4, 200)
    assert ran and result.GetCode() == tr.ZU_TIMEOUT
    seen = []
    stop = threading.Event()

    def watch():
        while not stop.is_set():
            seen.append(m.ZuDeviceSerialPort_GetWriteProgress(port))

    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        # More than the device holds at once: the write waits for the port's
        # receiving side to drain it.
        assert m.ZuDeviceSerialPort_Write(port, u8(bytes(20000)))[1] == 20000
    finally:
        stop.set()
        watcher.join(10)
    assert read_all(port, 20000) == bytes(20000)
    progress = [tuple(p[1:]) for p in seen if p[0].IsOK()]
    assert progress and all(total == 20000 and 0 <= done <= 20000 for done, total in progress)


def test_the_port_outlives_its_adapter_and_answers_once_its_device_is_gone(camera):
    result, device = tr.ZuDevice.CreateAndConnect(camera.address)
    assert result.IsOK()
    adapter = tr.ZuDeviceAdapter(device)
    port = m.new_ZuDeviceSerialPort()
    assert m.ZuDeviceSerialPort_Open(port, adapter, 1).IsOK()
    del adapter                                  # the port keeps working without it
    m.ZuDeviceSerialPort_Write(port, u8(b"still"))
    assert read_all(port, 5) == b"still"
    tr.ZuDevice.Free(device)                     # and answers at once, never dangles, once the device goes
    result, data, n = m.ZuDeviceSerialPort_Read(port, 4, 0)
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and n == 0 and not data.any()
    result, n = m.ZuDeviceSerialPort_Write(port, u8(b"x"))
    assert result.GetCode() == tr.ZU_NOT_CONNECTED and n == 0
    m.delete_ZuDeviceSerialPort(port)
