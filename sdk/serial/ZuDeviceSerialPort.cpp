#include "ZuDeviceSerialPort.h"

#include "gev/bridge.h"
#include "tarn/DeviceFollow.h"
#include "tarn/Interrupts.h"
#include "tarn/SinkList.h"
#include "tarn/Uses.h"
#include "tarn/Worker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace sb = tarn::bridge::serial;
using Clock = std::chrono::steady_clock;

namespace {

// How long a write may make no progress (the device's side full) before it
// gives up, and how often an idle port asks the device for arriving bytes.
constexpr auto kWriteStall = std::chrono::seconds(2);
constexpr auto kIdlePollMin = std::chrono::milliseconds(1);
constexpr auto kIdlePollMax = std::chrono::milliseconds(8);
constexpr uint32_t kDefaultRxSize = 64 * 1024;

ZuResult NotOpen()
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString("the serial port is not open"));
}

ZuResult OpenAlready()
{
    return ZuResult(ZU_STATE_ERROR, ZuString("the serial port is open already"));
}

ZuResult Gone()
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString("the device is not connected"));
}

bool IsOk(const ZuResult &aResult)
{
    return aResult.GetCode() == ZU_OK;
}

// The echo sinks of the process.
typedef tarn::SinkList<ZuDeviceSerialPortEchoSink> EchoSinks;

EchoSinks &Echo()
{
    static EchoSinks *sinks = new EchoSinks;  // used by threads that may outlive static destruction
    return *sinks;
}

// One opening of a port: what the poller and the callers share. Callers
// hold a share while they work, so that a Close on another thread never
// frees what they use.
struct Session {
    std::unique_ptr<IZuDeviceAdapter> own;
    IZuDeviceAdapter *adapter = nullptr;
    ZuDeviceSerial port = ZuDeviceSerialInvalid;
    uint32_t base = 0;
    ZuString deviceId;

    std::mutex lock;
    std::condition_variable arrived;  // bytes, loss of the device, or close
    std::condition_variable wake;     // the poller: stop
    bool closing = false;
    bool lost = false;
    std::vector<uint8_t> ring;
    size_t head = 0, count = 0;

    std::mutex writing;  // one write at a time

    bool Usable()
    {
        std::lock_guard<std::mutex> guard(lock);
        return !closing && !lost;
    }
    void Push(const uint8_t *aData, size_t aCount)
    {
        // The oldest bytes go first when the buffer is full.
        const size_t cap = ring.size();
        if (aCount >= cap) {
            aData += aCount - cap;
            aCount = cap;
        }
        const size_t drop = count + aCount > cap ? count + aCount - cap : 0;
        head = (head + drop) % cap;
        count -= drop;
        for (size_t k = 0; k < aCount; ++k) ring[(head + count + k) % cap] = aData[k];
        count += aCount;
    }
    size_t Pop(uint8_t *aOut, size_t aMax)
    {
        const size_t n = std::min(aMax, count);
        for (size_t k = 0; k < n; ++k) aOut[k] = ring[(head + k) % ring.size()];
        head = (head + n) % ring.size();
        count -= n;
        return n;
    }
};

} // namespace

struct ZuDeviceSerialPort::Impl {
    std::mutex lock;  // the session pointer
    std::shared_ptr<Session> session;
    tarn::Worker poller;
    std::mutex progressLock;
    bool wrote = false;
    uint32_t written = 0, total = 0;
    // Shared with the receiving thread, which an echo sink closing the port
    // from inside its call leaves running past the port's end.
    struct Counters {
        std::atomic<uint64_t> sent{0}, received{0};
    };
    std::shared_ptr<Counters> counters = std::make_shared<Counters>();

    std::shared_ptr<Session> Current()
    {
        std::lock_guard<std::mutex> guard(lock);
        return session;
    }
    static void Poll(std::shared_ptr<Session> aSession, std::shared_ptr<Counters> aCounters);
    void SetProgress(uint32_t aWritten, uint32_t aTotal)
    {
        std::lock_guard<std::mutex> guard(progressLock);
        wrote = true;
        written = aWritten;
        total = aTotal;
    }
};

// The receiving side: moves what the device holds for the port into the
// receive buffer, asking again at once while bytes keep coming and more
// slowly while the port is idle.
void ZuDeviceSerialPort::Impl::Poll(std::shared_ptr<Session> s, std::shared_ptr<Counters> aCounters)
{
    std::vector<uint8_t> chunk(sb::WindowSize);
    auto idle = kIdlePollMin;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(s->lock);
            if (s->closing) return;
        }
        uint32_t available = 0;
        ZuResult r = s->adapter->ReadRegister(s->base + sb::RxAvailable, available);
        uint32_t n = std::min<uint32_t>(available, sb::WindowSize);
        if (IsOk(r) && n > 0) {
            r = s->adapter->ReadMemory(chunk.data(), s->base + sb::RxWindow, (n + 3) & ~3u);
            if (IsOk(r)) r = s->adapter->WriteRegister(s->base + sb::RxTake, n);
        }
        if (!IsOk(r) && !s->adapter->IsConnected()) {
            std::lock_guard<std::mutex> guard(s->lock);
            s->lost = true;
            s->arrived.notify_all();
            return;
        }
        if (IsOk(r) && n > 0) {
            // Counted and echoed before a reader can see the bytes, so that
            // whoever reads them finds them counted and echoed already.
            aCounters->received += n;
            Echo().ForEach([&](ZuDeviceSerialPortEchoSink *e) { e->OnDataReceived(s->deviceId, s->port, chunk.data(), n); });
            {
                std::lock_guard<std::mutex> guard(s->lock);
                s->Push(chunk.data(), n);
                s->arrived.notify_all();
            }
            idle = kIdlePollMin;
            continue;
        }
        std::unique_lock<std::mutex> guard(s->lock);
        s->wake.wait_for(guard, idle, [&] { return s->closing; });
        idle = std::min(idle * 2, kIdlePollMax);
    }
}

ZuDeviceSerialPort::ZuDeviceSerialPort() : mImpl(std::make_unique<Impl>()) {}

ZuDeviceSerialPort::~ZuDeviceSerialPort()
{
    Close();
}

namespace {

bool ValidPort(ZuDeviceSerial aPort)
{
    return int32_t(aPort) >= 0 && uint32_t(aPort) < sb::Ports;
}

// Whether the device answers the bridge's magic word for the port.
ZuResult Probe(IZuDeviceAdapter &aAdapter, ZuDeviceSerial aPort)
{
    if (!aAdapter.IsConnected()) return Gone();
    if (!ValidPort(aPort) || !aAdapter.IsGigEVision())
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the device has no such serial port"));
    uint32_t magic = 0;
    ZuResult r = aAdapter.ReadRegister(sb::portBase(uint32_t(aPort)) + sb::Magic, magic);
    if (r.GetCode() == ZU_NOT_CONNECTED) return r;
    if (!IsOk(r) || magic != sb::MagicValue)
        return ZuResult(ZU_NOT_SUPPORTED, ZuString("the device has no such serial port"));
    return ZuResult();
}

} // namespace

ZuResult ZuDeviceSerialPort::Open(IZuDeviceAdapter *aAdapter, ZuDeviceSerial aPort)
{
    if (!aAdapter) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no device adapter given"));
    if (IsOpened()) return OpenAlready();
    // A receiving thread that closed its own port ends first, and not under
    // the lock: its sink call may still use the port.
    mImpl->poller.Stop();
    std::lock_guard<std::mutex> guard(mImpl->lock);
    if (mImpl->session) return OpenAlready();
    auto s = std::make_shared<Session>();
    s->own = tarn::DeviceFollow::Adapter(aAdapter);
    s->adapter = s->own ? s->own.get() : aAdapter;
    ZuResult r = Probe(*s->adapter, aPort);
    if (!IsOk(r)) return r;
    s->port = aPort;
    s->base = sb::portBase(uint32_t(aPort));
    s->ring.assign(kDefaultRxSize, 0);
    s->adapter->GetUniqueID(s->deviceId);
    // What an earlier user left on the device's side is not this opening's.
    r = s->adapter->WriteRegister(s->base + sb::Control, sb::ControlFlush);
    if (!IsOk(r)) return r.GetCode() == ZU_NOT_CONNECTED ? r : ZuResult(ZU_NOT_SUPPORTED, r.GetDescription());
    std::shared_ptr<Impl::Counters> counters = mImpl->counters;
    if (!mImpl->poller.Start([s, counters](tarn::Worker::Control &) { Impl::Poll(s, counters); }).IsOK())
        return ZuResult(ZU_THREAD_ERROR, ZuString("the receiving thread could not start"));
    mImpl->session = s;
    return ZuResult();
}

void tarn::EndWaits(ZuDeviceSerialPort *aPort)
{
    if (aPort) aPort->Close();
}

ZuResult ZuDeviceSerialPort::Close()
{
    std::shared_ptr<Session> s;
    {
        std::lock_guard<std::mutex> guard(mImpl->lock);
        s.swap(mImpl->session);
    }
    if (!s) return NotOpen();
    {
        std::lock_guard<std::mutex> guard(s->lock);
        s->closing = true;
        s->wake.notify_all();
        s->arrived.notify_all();
    }
    // An echo sink that closes the port from the receiving thread leaves it
    // to end by itself, holding the session.
    mImpl->poller.Stop();
    return ZuResult();
}

bool ZuDeviceSerialPort::IsOpened()
{
    return mImpl->Current() != nullptr;
}

ZuResult ZuDeviceSerialPort::Write(const uint8_t *aBuffer, uint32_t aSize, uint32_t &aBytesWritten)
{
    aBytesWritten = 0;
    auto s = mImpl->Current();
    if (!s) return NotOpen();
    if (!aBuffer && aSize) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no data to write"));
    std::lock_guard<std::mutex> one(s->writing);
    mImpl->SetProgress(0, aSize);
    std::vector<uint8_t> window(sb::WindowSize);
    auto lastProgress = Clock::now();
    while (aBytesWritten < aSize) {
        if (!s->Usable()) return s->adapter->IsConnected() ? NotOpen() : Gone();
        uint32_t free = 0;
        ZuResult r = s->adapter->ReadRegister(s->base + sb::TxFree, free);
        if (r.GetCode() == ZU_NOT_CONNECTED) return r;
        const uint32_t n = std::min({aSize - aBytesWritten, sb::WindowSize, IsOk(r) ? free : 0u});
        if (n == 0) {
            if (Clock::now() - lastProgress > kWriteStall)
                return ZuResult(ZU_GENERIC_ERROR, ZuString("the device took no more bytes"));
            std::this_thread::sleep_for(kIdlePollMin);
            continue;
        }
        std::copy(aBuffer + aBytesWritten, aBuffer + aBytesWritten + n, window.begin());
        r = s->adapter->WriteMemory(window.data(), s->base + sb::TxWindow, (n + 3) & ~3u);
        if (IsOk(r)) r = s->adapter->WriteRegister(s->base + sb::TxCommit, n);
        if (r.GetCode() == ZU_NOT_CONNECTED) return r;
        if (!IsOk(r)) {
            if (Clock::now() - lastProgress > kWriteStall)
                return ZuResult(ZU_GENERIC_ERROR, ZuString("not all bytes could be written"));
            continue;
        }
        const uint8_t *sentNow = aBuffer + aBytesWritten;
        aBytesWritten += n;
        lastProgress = Clock::now();
        mImpl->counters->sent += n;
        mImpl->SetProgress(aBytesWritten, aSize);
        Echo().ForEach([&](ZuDeviceSerialPortEchoSink *e) { e->OnDataSent(s->deviceId, s->port, sentNow, n); });
    }
    return ZuResult();
}

ZuResult ZuDeviceSerialPort::GetWriteProgress(uint32_t &aWritten, uint32_t &aSize)
{
    std::lock_guard<std::mutex> guard(mImpl->progressLock);
    if (!mImpl->wrote) return ZuResult(ZU_STATE_ERROR, ZuString("no write was made yet"));
    aWritten = mImpl->written;
    aSize = mImpl->total;
    return ZuResult();
}

ZuResult ZuDeviceSerialPort::Read(uint8_t *aBuffer, uint32_t aBufferSize, uint32_t &aBytesRead, uint32_t aTimeout)
{
    aBytesRead = 0;
    auto s = mImpl->Current();
    if (!s) return NotOpen();
    if (!aBuffer && aBufferSize) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory to read into"));
    // The receiving thread learns that the device went only when one of its
    // requests fails, which may first wait out the request's time-outs; the
    // adapter knows at once. Bytes that came before are still handed out.
    const bool gone = !s->adapter->IsConnected();
    std::unique_lock<std::mutex> guard(s->lock);
    // As many bytes as asked for, or what came by the time-out.
    if (!gone && tarn::Interrupts::WaitFor(s->arrived, guard, aTimeout, [&] {
                     return s->count >= aBufferSize || s->closing || s->lost;
                 }) == tarn::Interrupts::Wait::Interrupted)
        return tarn::Interrupts::Result();
    aBytesRead = uint32_t(s->Pop(aBuffer, aBufferSize));
    if (aBytesRead || !aBufferSize) return ZuResult();
    if (s->closing) return NotOpen();
    if (gone || s->lost) return Gone();
    guard.unlock();
    if (!s->adapter->IsConnected()) return Gone();
    return ZuResult(ZU_TIMEOUT, ZuString("no bytes arrived in time"));
}

ZuResult ZuDeviceSerialPort::NotifyReadComplete()
{
    auto s = mImpl->Current();
    if (!s) return NotOpen();
    Echo().ForEach([&](ZuDeviceSerialPortEchoSink *e) { e->OnReadComplete(s->deviceId, s->port); });
    return ZuResult();
}

ZuResult ZuDeviceSerialPort::FlushRxBuffer()
{
    auto s = mImpl->Current();
    if (!s) return NotOpen();
    std::lock_guard<std::mutex> guard(s->lock);
    s->head = s->count = 0;
    return ZuResult();
}

ZuResult ZuDeviceSerialPort::GetRxBytesReady(uint32_t &aBytes)
{
    auto s = mImpl->Current();
    if (!s) return NotOpen();
    std::lock_guard<std::mutex> guard(s->lock);
    aBytes = uint32_t(s->count);
    return ZuResult();
}

ZuResult ZuDeviceSerialPort::GetRxBufferSize(uint32_t &aSize)
{
    auto s = mImpl->Current();
    if (!s) return NotOpen();
    std::lock_guard<std::mutex> guard(s->lock);
    aSize = uint32_t(s->ring.size());
    return ZuResult();
}

ZuResult ZuDeviceSerialPort::SetRxBufferSize(uint32_t aSize)
{
    auto s = mImpl->Current();
    if (!s) return NotOpen();
    if (aSize == 0) return ZuResult(ZU_INVALID_PARAMETER, ZuString("a receive buffer holds at least one byte"));
    std::vector<uint8_t> ring;
    try {
        ring.assign(aSize, 0);
    } catch (const std::bad_alloc &) {
        return ZuResult(ZU_NOT_ENOUGH_MEMORY, ZuString("no memory for the receive buffer"));
    }
    std::lock_guard<std::mutex> guard(s->lock);
    s->ring.swap(ring);
    s->head = s->count = 0;
    return ZuResult();
}

bool ZuDeviceSerialPort::IsSupported(IZuDeviceAdapter *aAdapter, ZuDeviceSerial aPort)
{
    return aAdapter && IsOk(Probe(*aAdapter, aPort));
}

ZuResult ZuDeviceSerialPort::RegisterEchoSink(ZuDeviceSerialPortEchoSink *aSink)
{
    return Echo().Add(aSink, ZU_NOT_SUPPORTED);
}

ZuResult ZuDeviceSerialPort::UnregisterEchoSink(ZuDeviceSerialPortEchoSink *aSink)
{
    return Echo().Remove(aSink);
}

uint64_t ZuDeviceSerialPort::GetBytesSent() const
{
    return mImpl->counters->sent;
}

uint64_t ZuDeviceSerialPort::GetBytesReceived() const
{
    return mImpl->counters->received;
}

void ZuDeviceSerialPort::ResetStatistics()
{
    mImpl->counters->sent = 0;
    mImpl->counters->received = 0;
}
