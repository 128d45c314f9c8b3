// The serial port's own behaviour over the software camera's loopback
// bridge, without a network: flow control past the device's buffer, the
// receive buffer dropping its oldest bytes, echo sinks, a device that goes.

#include "ZuDeviceSerialPort.h"
#include "gev/bridge.h"
#include "softdevice/model/bridges.h"
#include "space_adapter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

using tarn::softdevice::RegisterSpace;
using tarn::softdevice::SerialLoopback;

namespace {

struct Bridge : ::testing::Test {
    RegisterSpace space;
    SerialLoopback loop;
    SpaceAdapter adapter{space};
    ZuDeviceSerialPort port;
    void SetUp() override { loop.Layout(space); }

    // Reads until count bytes came or nothing more arrives.
    std::vector<uint8_t> ReadAll(size_t aCount)
    {
        std::vector<uint8_t> out;
        uint8_t chunk[5000];
        while (out.size() < aCount) {
            uint32_t n = 0;
            ZuResult r = port.Read(chunk, uint32_t(std::min(sizeof chunk, aCount - out.size())), n, 2000);
            if (!r.IsOK()) break;
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }
};

struct Recorder : ZuDeviceSerialPortEchoSink {
    std::mutex lock;
    std::string sent, received;
    int completes = 0;
    void OnDataSent(const ZuString &aId, ZuDeviceSerial aPort, const uint8_t *d, uint32_t n) override
    {
        std::lock_guard<std::mutex> g(lock);
        EXPECT_EQ(aId.Narrow(), "space");
        EXPECT_EQ(aPort, ZuDeviceSerial1);
        sent.append(reinterpret_cast<const char *>(d), n);
    }
    void OnDataReceived(const ZuString &, ZuDeviceSerial, const uint8_t *d, uint32_t n) override
    {
        std::lock_guard<std::mutex> g(lock);
        received.append(reinterpret_cast<const char *>(d), n);
    }
    void OnReadComplete(const ZuString &, ZuDeviceSerial) override { ++completes; }
};

} // namespace

TEST_F(Bridge, BytesComeBackInOrderPastTheDevicesBufferAndWindow)
{
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerialBulk3).IsOK());
    // More than the device holds at once and many windows' worth: the write
    // waits for room instead of losing bytes.
    std::vector<uint8_t> data(3 * SerialLoopback::kFifoSize + 123);
    for (size_t k = 0; k < data.size(); ++k) data[k] = uint8_t(k * 31 + k / 256);
    uint32_t written = 0;
    std::thread writer([&] { EXPECT_TRUE(port.Write(data.data(), uint32_t(data.size()), written).IsOK()); });
    std::vector<uint8_t> back = ReadAll(data.size());
    writer.join();
    EXPECT_EQ(written, data.size());
    EXPECT_EQ(back, data);
    uint32_t done = 0, total = 0;
    ASSERT_TRUE(port.GetWriteProgress(done, total).IsOK());
    EXPECT_EQ(done, data.size());
    EXPECT_EQ(total, data.size());
    EXPECT_EQ(port.GetBytesSent(), data.size());
    EXPECT_EQ(port.GetBytesReceived(), data.size());
    port.ResetStatistics();
    EXPECT_EQ(port.GetBytesSent(), 0u);
    EXPECT_EQ(port.GetBytesReceived(), 0u);
}

TEST_F(Bridge, AFullReceiveBufferDropsTheOldestBytes)
{
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerial0).IsOK());
    ASSERT_TRUE(port.SetRxBufferSize(10).IsOK());
    uint32_t capacity = 0;
    ASSERT_TRUE(port.GetRxBufferSize(capacity).IsOK());
    EXPECT_EQ(capacity, 10u);
    const std::string text = "0123456789abcdefghij";
    for (int round = 0; round < 2; ++round) {
        uint32_t written = 0;
        ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>(text.data() + round * 7), 7, written).IsOK());
        // Until the receiving side has taken all of it from the device.
        while (port.GetBytesReceived() < uint64_t(7 * (round + 1))) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    uint32_t ready = 0;
    ASSERT_TRUE(port.GetRxBytesReady(ready).IsOK());
    EXPECT_EQ(ready, 10u);
    uint8_t out[16] = {};
    uint32_t n = 0;
    ASSERT_TRUE(port.Read(out, sizeof out, n, 0).IsOK());
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), n), "456789abcd");
    // Wrapping around the ring once more keeps the order.
    uint32_t written = 0;
    ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>("XYZ"), 3, written).IsOK());
    EXPECT_EQ(ReadAll(3), std::vector<uint8_t>({'X', 'Y', 'Z'}));
}

TEST_F(Bridge, ResizingAndFlushingEmptyTheReceiveBuffer)
{
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerial0).IsOK());
    uint32_t written = 0, ready = 0;
    for (auto change : {+[](ZuDeviceSerialPort &p) { return p.FlushRxBuffer(); },
                        +[](ZuDeviceSerialPort &p) { return p.SetRxBufferSize(100); }}) {
        ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>("abcd"), 4, written).IsOK());
        while (port.GetBytesReceived() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(change(port).IsOK());
        ASSERT_TRUE(port.GetRxBytesReady(ready).IsOK());
        EXPECT_EQ(ready, 0u);
        port.ResetStatistics();
    }
    EXPECT_EQ(port.SetRxBufferSize(0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST_F(Bridge, ReadWaitsForWhatWasAskedOrTheTimeOut)
{
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerial0).IsOK());
    uint8_t out[8];
    uint32_t n = 99;
    EXPECT_EQ(port.Read(out, sizeof out, n, 0).GetCode(), uint32_t(ZU_TIMEOUT));
    EXPECT_EQ(n, 0u);
    uint32_t written = 0;
    ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>("ab"), 2, written).IsOK());
    // Two bytes of eight by the time-out: OK with what came.
    ASSERT_TRUE(port.Read(out, sizeof out, n, 300).IsOK());
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 2), "ab");
}

TEST_F(Bridge, AWaitingReadIsWokenByTheBytesItAskedFor)
{
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerial0).IsOK());
    std::mutex lock;
    std::condition_variable changed;
    bool returned = false;
    uint32_t n = 0;
    uint8_t out[3] = {};
    // A time-out far beyond the bound below: only the bytes' arrival can
    // end the read in time.
    std::thread reader([&] {
        EXPECT_TRUE(port.Read(out, sizeof out, n, 600000).IsOK());
        std::lock_guard<std::mutex> guard(lock);
        returned = true;
        changed.notify_all();
    });
    // Give the reader time to start waiting (were it late, it would find
    // the bytes without waiting, and the test would pass either way).
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    uint32_t written = 0;
    ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>("xyz"), 3, written).IsOK());
    bool woken = false;
    {
        std::unique_lock<std::mutex> guard(lock);
        woken = changed.wait_for(guard, std::chrono::seconds(20), [&] { return returned; });
    }
    port.Close();  // ends a read that was never woken
    reader.join();
    EXPECT_TRUE(woken);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), n), "xyz");
}

TEST_F(Bridge, EchoSinksHearAllTrafficUntilUnregistered)
{
    Recorder echo;
    ASSERT_TRUE(ZuDeviceSerialPort::RegisterEchoSink(&echo).IsOK());
    EXPECT_EQ(ZuDeviceSerialPort::RegisterEchoSink(&echo).GetCode(), uint32_t(ZU_NOT_SUPPORTED));
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerial1).IsOK());
    uint32_t written = 0;
    // More than one window: each piece is echoed as it goes, in order.
    std::string text = "ping";
    for (int k = 0; text.size() < 3000; ++k) text += std::to_string(k) + ",";
    ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>(text.data()), uint32_t(text.size()), written).IsOK());
    EXPECT_EQ(ReadAll(text.size()).size(), text.size());
    ASSERT_TRUE(port.NotifyReadComplete().IsOK());
    ASSERT_TRUE(ZuDeviceSerialPort::UnregisterEchoSink(&echo).IsOK());
    EXPECT_EQ(ZuDeviceSerialPort::UnregisterEchoSink(&echo).GetCode(), uint32_t(ZU_NOT_FOUND));
    ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>("more"), 4, written).IsOK());
    EXPECT_EQ(ReadAll(4).size(), 4u);
    std::lock_guard<std::mutex> g(echo.lock);
    EXPECT_EQ(echo.sent, text);
    EXPECT_EQ(echo.received, text);
    EXPECT_EQ(echo.completes, 1);
    EXPECT_EQ(ZuDeviceSerialPort::RegisterEchoSink(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(ZuDeviceSerialPort::UnregisterEchoSink(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST_F(Bridge, AGoneDeviceEndsWaitsAndOperations)
{
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerial0).IsOK());
    std::thread leave([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        adapter.connected = false;
    });
    uint8_t out[4];
    uint32_t n = 7;
    // Ends when the device goes, not at the (long) time-out.
    EXPECT_EQ(port.Read(out, sizeof out, n, 60000).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    leave.join();
    EXPECT_EQ(n, 0u);
    uint32_t written = 9;
    EXPECT_EQ(port.Write(out, 4, written).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(port.Close().IsOK());
    EXPECT_EQ(port.Close().GetCode(), uint32_t(ZU_NOT_CONNECTED));
}

// A device that vanished while the receiving thread waits on one of its
// requests (a real controller waits out its answer time-outs there).
struct StallingAdapter : SpaceAdapter {
    using SpaceAdapter::SpaceAdapter;
    std::atomic<bool> hold{false};
    std::atomic<int> held{0};
    ZuResult ReadRegister(int64_t aAddress, uint32_t &aValue) override
    {
        if (hold) {
            ++held;
            while (hold) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return SpaceAdapter::ReadRegister(aAddress, aValue);
    }
};

TEST(SerialPortStalled, AReadAfterTheDeviceWentAnswersNotConnectedAtOnce)
{
    RegisterSpace space;
    SerialLoopback loop;
    loop.Layout(space);
    StallingAdapter adapter{space};
    ZuDeviceSerialPort port;
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerial0).IsOK());
    uint32_t n = 0;
    ASSERT_TRUE(port.Write(reinterpret_cast<const uint8_t *>("ab"), 2, n).IsOK());
    for (int k = 0; k < 5000 && (port.GetRxBytesReady(n), n < 2); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(n, 2u);
    adapter.hold = true;
    for (int k = 0; k < 5000 && !adapter.held; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(adapter.held);
    adapter.connected = false;
    uint8_t out[8];
    // What came before the device went is still read; then the port says so.
    ASSERT_TRUE(port.Read(out, sizeof out, n, 0).IsOK());
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), n), "ab");
    EXPECT_EQ(port.Read(out, sizeof out, n, 0).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(port.Read(out, sizeof out, n, 1000).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(n, 0u);
    adapter.hold = false;
    EXPECT_TRUE(port.Close().IsOK());
}

TEST_F(Bridge, OpeningChecksTheAdapterThePortAndTheState)
{
    EXPECT_EQ(port.Open(nullptr, ZuDeviceSerial0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(port.Open(&adapter, ZuDeviceSerialInvalid).GetCode(), uint32_t(ZU_NOT_SUPPORTED));
    EXPECT_EQ(port.Open(&adapter, ZuDeviceSerial(10)).GetCode(), uint32_t(ZU_NOT_SUPPORTED));
    EXPECT_TRUE(ZuDeviceSerialPort::IsSupported(&adapter, ZuDeviceSerialBulk7));
    EXPECT_FALSE(ZuDeviceSerialPort::IsSupported(&adapter, ZuDeviceSerial(10)));
    EXPECT_FALSE(ZuDeviceSerialPort::IsSupported(nullptr, ZuDeviceSerial0));
    ASSERT_TRUE(port.Open(&adapter, ZuDeviceSerialBulk7).IsOK());
    EXPECT_TRUE(port.IsOpened());
    EXPECT_EQ(port.Open(&adapter, ZuDeviceSerial0).GetCode(), uint32_t(ZU_STATE_ERROR));
    adapter.connected = false;
    EXPECT_FALSE(ZuDeviceSerialPort::IsSupported(&adapter, ZuDeviceSerial0));
    ZuDeviceSerialPort other;
    EXPECT_EQ(other.Open(&adapter, ZuDeviceSerial0).GetCode(), uint32_t(ZU_NOT_CONNECTED));
}

TEST(SerialPortWithoutBridge, IsNotSupported)
{
    RegisterSpace space;  // a device with nothing at the bridge's addresses
    space.AddValue(tarn::bridge::serial::portBase(0), 0x12345678, false);
    SpaceAdapter adapter(space);
    EXPECT_FALSE(ZuDeviceSerialPort::IsSupported(&adapter, ZuDeviceSerial0));
    EXPECT_FALSE(ZuDeviceSerialPort::IsSupported(&adapter, ZuDeviceSerial1));
    ZuDeviceSerialPort port;
    EXPECT_EQ(port.Open(&adapter, ZuDeviceSerial0).GetCode(), uint32_t(ZU_NOT_SUPPORTED));
    EXPECT_FALSE(port.IsOpened());
}

TEST(SerialPortClosed, AnswersNotConnectedAndZeroCounts)
{
    ZuDeviceSerialPort port;
    uint8_t b[4] = {};
    uint32_t n = 5, m = 5;
    EXPECT_EQ(port.Write(b, 4, n).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(n, 0u);
    n = 5;
    EXPECT_EQ(port.Read(b, 4, n, 0).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(port.GetWriteProgress(n, m).GetCode(), uint32_t(ZU_STATE_ERROR));
    for (auto op : {&ZuDeviceSerialPort::FlushRxBuffer, &ZuDeviceSerialPort::NotifyReadComplete, &ZuDeviceSerialPort::Close})
        EXPECT_EQ((port.*op)().GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(port.GetRxBytesReady(n).GetCode(), uint32_t(ZU_NOT_CONNECTED));
    EXPECT_EQ(port.SetRxBufferSize(8).GetCode(), uint32_t(ZU_NOT_CONNECTED));
}
