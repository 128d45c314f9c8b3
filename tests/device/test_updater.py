"""The firmware updater against the software camera's firmware window: the
image installed and the version it names reported, the user id written, the
outcomes of files that cannot serve, observers on the update's own thread and
kept alive while attached, and the director's texts."""
import gc
import struct
import threading
import time
import zlib

import pytest

import tarn_base_310  # noqa: F401
import tarn_receive_310 as tr
from support import error_of, needs_netns
from support.devices import DESCRIPTION, Responder, find
from support.softcamera import SoftCamera

m = tr._tarn_receive_310
pytestmark = needs_netns()
CAMERA = 133
# A device whose firmware window takes every write and reports whatever
# status it holds, with room for two windows of image.
FAULTY = "127.0.0.134"
FIRMWARE, STATUS, CAPACITY = 0xFFFF0000, 0xFFFF000C, 0x2000


def update_file(members):
    """An update file: magic, members (u16 name length, name, u32 data
    length, data), then the CRC-32 of all that."""
    out = b"TARNFWU1"
    for name, data in members:
        out += struct.pack("<H", len(name)) + name.encode() + struct.pack("<I", len(data)) + data
    return out + struct.pack("<I", zlib.crc32(out))


def manifest(version="2.0.1", image="fw.bin", model=None, fmt="1"):
    lines = [f"Format={fmt}", f"Version={version}", f"Image={image}"] + ([f"Model={model}"] if model else [])
    return ("# an update\n" + "\n".join(lines) + "\n").encode()


IMAGE = bytes((k * 13 + 5) & 0xFF for k in range(10000))   # several chunks


@pytest.fixture(scope="module")
def camera():
    with SoftCamera(CAMERA) as cam:
        yield cam


@pytest.fixture(scope="module")
def info(camera):
    system, info = find(camera.address)
    yield info
    del system


class Observer(tr.IUpdaterObserver):
    """Records what it hears, on which thread, and whether the updater
    already said it was done (it must not be while it still reports)."""

    def __init__(self, updater=None):
        super().__init__()
        self.updater = updater
        self.labels, self.values, self.threads, self.done = [], [], set(), set()

    def heard(self):
        self.threads.add(threading.get_ident())
        if self.updater is not None:
            self.done.add(m.ZuGenFUUpdater_IsDone(self.updater))

    def UpdateProgressLabel(self, msg):
        self.labels.append(msg)
        self.heard()

    def UpdateProgressValue(self, value):
        self.values.append(value)
        self.heard()


def run(updater, limit=30):
    assert m.ZuGenFUUpdater_Start(updater) is None
    end = time.monotonic() + limit
    while not m.ZuGenFUUpdater_IsDone(updater):
        assert time.monotonic() < end, "the update did not end"
        time.sleep(0.01)
    return m.ZuGenFUUpdater_GetResult(updater)


def feature(info, name):
    result, device = tr.ZuDevice.CreateAndConnect(info)
    assert result.IsOK()
    try:
        return device.GetParameters().GetStringValue(name)[1]
    finally:
        tr.ZuDevice.Free(device)


def write(tmp_path, data, name="update.tfu"):
    (tmp_path / name).write_bytes(data)
    return str(tmp_path), name


def test_an_update_installs_the_image_and_writes_the_user_id(tmp_path, info):
    before = feature(info, "DeviceUserID")
    path, name = write(tmp_path, update_file([("notes", b"x"), ("manifest", manifest("2.0.1", model="SoftCamera")),
                                              ("fw.bin", IMAGE)]))
    updater = m.new_ZuGenFUUpdater(path, name, info, "", False)
    observer = Observer(updater)
    m.ZuGenFUUpdater_Attach(updater, observer)
    assert m.ZuGenFUUpdater_GetResult(updater).GetCode() == tr.ZU_NOT_INITIALIZED
    assert m.ZuGenFUUpdater_IsDone(updater) is False
    result = run(updater)
    assert result.IsOK(), result.GetDescription()
    assert feature(info, "DeviceFirmwareVersion") == "2.0.1"
    assert feature(info, "DeviceUserID") == before              # empty id: unchanged
    assert observer.values[0] == 0 and observer.values[-1] == 100
    assert observer.values == sorted(observer.values) and len(observer.values) > 3
    assert observer.labels[-1] == "Update complete"
    assert threading.get_ident() not in observer.threads and len(observer.threads) == 1
    assert observer.done == {False}
    # A second run with a user id and a reset; the detached observer hears nothing.
    m.ZuGenFUUpdater_Detach(updater, observer)
    heard = len(observer.values)
    # An image whose last chunk ends inside a word.
    path, name = write(tmp_path, update_file([("manifest", manifest("2.0.2")), ("fw.bin", IMAGE[:4099])]), "b.tfu")
    updater2 = m.new_ZuGenFUUpdater(path + "/", name, info, "renamed", True)
    assert run(updater2).IsOK()
    assert (feature(info, "DeviceFirmwareVersion"), feature(info, "DeviceUserID")) == ("2.0.2", "renamed")
    assert run(updater).IsOK()       # Start again after it ended
    assert len(observer.values) == heard and feature(info, "DeviceFirmwareVersion") == "2.0.1"
    m.delete_ZuGenFUUpdater(updater)
    m.delete_ZuGenFUUpdater(updater2)


@pytest.mark.parametrize("content, code", [
    (None, tr.ZU_NOT_FOUND),
    ("dir", tr.ZU_CANNOT_OPEN_FILE),
    (b"", tr.ZU_INVALID_DATA_FORMAT),
    (update_file([("manifest", manifest()), ("fw.bin", IMAGE)])[:-1], tr.ZU_INVALID_DATA_FORMAT),
    (update_file([("manifest", manifest()), ("fw.bin", IMAGE)])[:-5] + b"\0\0\0\0\0", tr.ZU_INVALID_DATA_FORMAT),
    (update_file([("fw.bin", IMAGE)]), tr.ZU_CANT_READ_MANIFEST),
    (update_file([("manifest", manifest(image="other.bin")), ("fw.bin", IMAGE)]), tr.ZU_CANT_READ_MANIFEST),
    (update_file([("manifest", manifest(fmt="2")), ("fw.bin", IMAGE)]), tr.ZU_CANT_READ_MANIFEST),
    (update_file([("manifest", manifest(version="")), ("fw.bin", IMAGE)]), tr.ZU_CANT_READ_MANIFEST),
    (update_file([("manifest", manifest(model="OtherCamera")), ("fw.bin", IMAGE)]), tr.ZU_NOT_SUPPORTED),
], ids=["missing", "directory", "empty", "cut", "damaged", "no-manifest", "no-image", "format", "no-version",
        "other-model"])
def test_files_that_cannot_serve_leave_the_firmware_alone(tmp_path, info, content, code):
    before = feature(info, "DeviceFirmwareVersion")
    if content == "dir":
        (tmp_path / "update.tfu").mkdir()
    elif content is not None:
        (tmp_path / "update.tfu").write_bytes(content)
    observer = Observer()
    updater = m.new_ZuGenFUUpdater(str(tmp_path), "update.tfu", info, "never", False)
    m.ZuGenFUUpdater_Attach(updater, observer)
    result = run(updater)
    assert result.GetCode() == code, result.GetDescription()
    assert observer.labels[-1].startswith("Update failed: ")
    assert feature(info, "DeviceFirmwareVersion") == before
    assert feature(info, "DeviceUserID") != "never"
    m.delete_ZuGenFUUpdater(updater)


def test_no_device_is_an_invalid_parameter(tmp_path):
    path, name = write(tmp_path, update_file([("manifest", manifest()), ("fw.bin", b"1234")]))
    updater = m.new_ZuGenFUUpdater(path, name, None, "", False)
    assert run(updater).GetCode() == tr.ZU_INVALID_PARAMETER
    m.delete_ZuGenFUUpdater(updater)


def test_an_attached_observer_is_kept_alive_and_failing_methods_are_reported(tmp_path, info, capfd):
    class OnlyValues(tr.IUpdaterObserver):
        values = []

        def UpdateProgressValue(self, value):
            OnlyValues.values.append(value)

    path, name = write(tmp_path, update_file([("manifest", manifest("3.0")), ("fw.bin", IMAGE)]))
    updater = m.new_ZuGenFUUpdater(path, name, info, "", False)
    m.ZuGenFUUpdater_Attach(updater, OnlyValues())     # no other reference to it
    gc.collect()
    assert run(updater).IsOK()                          # the failing label calls do not end the update
    assert OnlyValues.values[-1] == 100
    out = capfd.readouterr().out
    assert ("In method 'UpdateProgressLabel': RuntimeErrorSWIG director pure virtual method called "
            "IUpdaterObserver::UpdateProgressLabel") in out
    m.delete_ZuGenFUUpdater(updater)


def test_argument_and_director_errors(info):
    assert error_of(m.new_ZuGenFUUpdater, "a", "b", info, "") == (
        TypeError, "new_ZuGenFUUpdater expected 5 arguments, got 4")
    assert error_of(m.new_ZuGenFUUpdater, "a", "b", info, "", 1) == (
        TypeError, "in method 'new_ZuGenFUUpdater', argument 5 of type 'bool'")
    assert error_of(m.new_ZuGenFUUpdater, 1, "b", info, "", True) == (
        TypeError, "in method 'new_ZuGenFUUpdater', argument 1 of type 'char const *'")
    assert error_of(m.new_ZuGenFUUpdater, "a", "b", "info", "", True) == (
        TypeError, "in method 'new_ZuGenFUUpdater', argument 3 of type 'ZuDeviceInfo const *'")
    updater = m.new_ZuGenFUUpdater("a", "b", None, "", False)
    assert error_of(m.ZuGenFUUpdater_Attach, updater, 1) == (
        TypeError, "in method 'ZuGenFUUpdater_Attach', argument 2 of type 'IUpdaterObserver *'")
    assert error_of(m.ZuGenFUUpdater_IsDone, 1) == (
        TypeError, "in method 'ZuGenFUUpdater_IsDone', argument 1 of type 'ZuGenFUUpdater const *'")
    assert error_of(m.ZuGenFUUpdater_Start, 1) == (
        TypeError, "in method 'ZuGenFUUpdater_Start', argument 1 of type 'ZuGenFUUpdater *'")
    assert error_of(m.new_IUpdaterObserver, None) == (RuntimeError, "accessing abstract class or protected constructor")
    observer = Observer()
    assert error_of(m.IUpdaterObserver_UpdateProgressValue, observer, 2**31) == (
        OverflowError, "in method 'IUpdaterObserver_UpdateProgressValue', argument 2 of type 'int'")
    assert error_of(m.IUpdaterObserver_UpdateProgressLabel, observer, 3) == (
        TypeError, "in method 'IUpdaterObserver_UpdateProgressLabel', argument 2 of type 'char const *'")
    bare = type("Bare", (tr.IUpdaterObserver,), {})()
    assert error_of(bare.UpdateProgressLabel, "x") == (
        RuntimeError, "SWIG director pure virtual method called IUpdaterObserver::UpdateProgressLabel")
    m.ZuGenFUUpdater_Attach(updater, observer)
    m.ZuGenFUUpdater_Attach(updater, None)              # nothing
    m.ZuGenFUUpdater_Detach(updater, observer)
    m.ZuGenFUUpdater_Detach(updater, observer)          # not attached: nothing
    m.delete_ZuGenFUUpdater(updater)


@pytest.fixture(scope="module")
def faulty():
    with Responder(FAULTY, xml=str(DESCRIPTION), firmware="2") as device:
        system, info = find(FAULTY)
        yield info
        del system


def update_reporting(info, tmp_path, status, image):
    """Runs an update against the faulty device after setting the status
    its window will report."""
    result, device = tr.ZuDevice.CreateAndConnect(info)
    assert result.IsOK(), result.GetDescription()
    try:
        assert device.WriteRegister(STATUS, status).IsOK()
    finally:
        tr.ZuDevice.Free(device)
    path, name = write(tmp_path, update_file([("manifest", manifest()), ("fw.bin", image)]))
    updater = m.new_ZuGenFUUpdater(path, name, info, "", False)
    try:
        return run(updater)
    finally:
        m.delete_ZuGenFUUpdater(updater)


@pytest.mark.parametrize("status, code", [
    (2, tr.ZU_OK),
    (0x81, tr.ZU_CORRUPTED_DATA),
    (0x82, tr.ZU_CORRUPTED_DATA),
    (0, tr.ZU_GENERIC_ERROR),           # the commit was taken and did nothing
    (1, tr.ZU_GENERIC_ERROR),           # still receiving
    (0x83, tr.ZU_GENERIC_ERROR),
    (0x1234, tr.ZU_GENERIC_ERROR),
], ids=["installed", "bad-size", "bad-crc", "idle", "receiving", "bad-chunk", "unknown"])
def test_only_the_devices_word_that_it_installed_is_success(tmp_path, faulty, status, code):
    result = update_reporting(faulty, tmp_path, status, IMAGE[:100])
    assert result.GetCode() == code, result.GetDescription()
    if code == tr.ZU_GENERIC_ERROR:
        assert result.GetDescription() == f"the device did not install the firmware (status 0x{status:X})"


def test_an_image_of_exactly_the_devices_capacity_is_taken(tmp_path, faulty):
    assert update_reporting(faulty, tmp_path, 2, IMAGE[:CAPACITY]).IsOK()
    assert update_reporting(faulty, tmp_path, 2, IMAGE[:CAPACITY - 1]).IsOK()
    assert update_reporting(faulty, tmp_path, 2, IMAGE[:CAPACITY + 1]).GetCode() == tr.ZU_ERR_OVERFLOW
