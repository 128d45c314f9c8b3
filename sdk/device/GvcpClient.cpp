#include "GvcpClient.h"

#include <algorithm>
#include <random>

namespace tarn {
namespace device {

namespace {

constexpr uint64_t kAddressSpace = uint64_t(1) << 32;
constexpr size_t kWritesPerPacket = gvcp::kMaxPayload / 8;

int64_t Ticks(Clock::time_point aTime)
{
    return aTime.time_since_epoch().count();
}

} // namespace

ZuResult ResultOfStatus(uint16_t aStatus, const std::string &aWhat)
{
    const char *name = "an error";
    uint32_t code = ZU_GENERIC_ERROR;
    switch (aStatus) {
    case gvcp::STATUS_NOT_IMPLEMENTED: name = "NOT_IMPLEMENTED"; code = ZU_NOT_IMPLEMENTED; break;
    case gvcp::STATUS_INVALID_PARAMETER: name = "INVALID_PARAMETER"; code = ZU_INVALID_PARAMETER; break;
    case gvcp::STATUS_INVALID_ADDRESS: name = "INVALID_ADDRESS"; code = ZU_INVALID_PARAMETER; break;
    case gvcp::STATUS_WRITE_PROTECT: name = "WRITE_PROTECT"; break;
    case gvcp::STATUS_BAD_ALIGNMENT: name = "BAD_ALIGNMENT"; code = ZU_INVALID_PARAMETER; break;
    case gvcp::STATUS_ACCESS_DENIED: name = "ACCESS_DENIED"; break;
    case gvcp::STATUS_BUSY: name = "BUSY"; code = ZU_BUSY; break;
    default: break;
    }
    return ZuResult(code, ZuString(aWhat + ": the device answered " + name));
}

bool SendFrame(const net::TcpConnection &aConnection, const std::vector<uint8_t> &aPacket, int aStallMs)
{
    uint8_t head[gev::kFrameHeaderSize];
    gev::writeFrameHeader(head, uint32_t(aPacket.size()));
    const net::TcpConnection::Piece pieces[2] = {{head, sizeof head}, {aPacket.data(), aPacket.size()}};
    return aConnection.sendPieces(pieces, 2, aStallMs);
}

GvcpClient::GvcpClient(std::shared_ptr<ClientSettings> aSettings) : mSettings(std::move(aSettings))
{
    std::random_device seed;
    mNextId = uint16_t(seed());
}

GvcpClient::~GvcpClient()
{
    Close();
}

ZuResult GvcpClient::Open(uint32_t aDeviceIp, uint16_t aPort)
{
    std::lock_guard<std::mutex> lock(mLock);
    mLocalIp = net::localAddressTowards(aDeviceIp);
    if (!mLocalIp) return ZuResult(ZU_NETWORK_ERROR, ZuString("no route to " + gvcp::formatIPv4(aDeviceIp)));
    net::SocketOptions options;
    options.nonBlocking = true;
    std::string error;
    mSocket = net::UdpSocket::bind({mLocalIp, 0}, options, &error);
    if (!mSocket.valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
    if (!mLoop.valid()) return ZuResult(ZU_THREAD_ERROR, ZuString("no wake-up descriptor for the control channel"));
    WatchUdp();
    mDevice = {aDeviceIp, aPort};
    mInterrupted = false;
    mClosed = false;
    mLastAnswer = Ticks(Clock::now());
    return ZuResult();
}

void GvcpClient::WatchUdp()
{
    mLoop.clear();
    mLoop.watch(mSocket.fd(), [this](int) {
        net::Arrival arrival;
        mReceived = mSocket.receive(mBuffer, sizeof mBuffer, &arrival);
        // Only the device's own address and port answer for it: anything
        // else could pass for an answer by guessing a 16-bit id.
        if (mReceived > 0 && (arrival.from.ip != mDevice.ip || arrival.from.port != mDevice.port)) mReceived = 0;
        return mReceived <= 0;  // a datagram ends the wait
    });
}

void GvcpClient::Close()
{
    if (mClosed.exchange(true)) return;
    mLoop.stop();  // ends a wait in progress
    std::lock_guard<std::mutex> lock(mLock);
    mSocket = net::UdpSocket();
    mTcp = net::TcpConnection();
}

void GvcpClient::Interrupt()
{
    mInterrupted = true;
    mLoop.stop();
}

void GvcpClient::Resume()
{
    // Once the request that was ended has returned. A stop no wait took
    // costs the next wait one more turn, no more.
    std::lock_guard<std::mutex> lock(mLock);
    mInterrupted = false;
}

ZuResult GvcpClient::UseTcp(uint16_t aPort)
{
    std::lock_guard<std::mutex> lock(mLock);
    std::string error;
    const int timeout = int(std::max<uint32_t>(1, mSettings->answerTimeoutMs));
    net::TcpConnection tcp = net::TcpConnection::connect({mDevice.ip, aPort}, mLocalIp, timeout, &error);
    if (!tcp.valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
    mTcp = std::move(tcp);
    mFrames.reset();
    mTcpLost = false;
    mLoop.clear();
    mLoop.watch(mTcp.fd(), [this](int) { return !ReceiveTcp(); });
    return ZuResult();
}

void GvcpClient::UseUdp()
{
    std::lock_guard<std::mutex> lock(mLock);
    mTcp = net::TcpConnection();
    mTcpLost = false;
    WatchUdp();
}

bool GvcpClient::Send(const std::vector<uint8_t> &aPacket)
{
    if (!mTcp.valid()) return mSocket.sendTo(aPacket.data(), aPacket.size(), mDevice);
    if (mTcpLost) return false;
    if (SendFrame(mTcp, aPacket, int(std::max<uint32_t>(1, mSettings->answerTimeoutMs)))) return true;
    mTcpLost = true;  // cut inside a frame: nothing lines up after it
    return false;
}

// A whole frame waiting in what was read already goes to mBuffer.
bool GvcpClient::NextFrame()
{
    const uint8_t *data = nullptr;
    size_t size = 0;
    if (mFrames.next(data, size) != gev::FrameReader::Next::Frame) {
        if (mFrames.bad()) mTcpLost = true;
        return false;
    }
    std::copy(data, data + size, mBuffer);
    mReceived = long(size);
    return true;
}

// True once a frame arrived or the connection ended (the wait is over).
bool GvcpClient::ReceiveTcp()
{
    const auto read = mFrames.fill([this](uint8_t *aTo, size_t aRoom) { return mTcp.receive(aTo, aRoom); });
    if (read == gev::FrameReader::Fill::Nothing) return false;
    if (read == gev::FrameReader::Fill::Ended) {
        mTcpLost = true;
        return true;
    }
    return NextFrame() || mTcpLost;
}

Clock::time_point GvcpClient::LastAnswer() const
{
    return Clock::time_point(Clock::duration(mLastAnswer.load()));
}

uint16_t GvcpClient::NextId()
{
    if (++mNextId == 0) ++mNextId;  // 0 is not a request id
    return mNextId;
}

bool GvcpClient::Receive(int aTimeoutMs)
{
    mReceived = 0;
    if (mTcp.valid()) {
        if (mTcpLost) return false;
        if (NextFrame()) return true;
    }
    return mLoop.run(aTimeoutMs) == net::PollLoop::Exit::Done && mReceived > 0;
}

Clock::time_point GvcpClient::UnextendedDeadline() const
{
    const auto wait = std::chrono::milliseconds(std::max<uint32_t>(1, mSettings->answerTimeoutMs));
    return Clock::now() + wait * (uint64_t(mSettings->retries) + 1);
}

ZuResult GvcpClient::Transact(const std::vector<uint8_t> &aPacket, uint16_t aReqId, uint16_t aAnswer, gvcp::Ack &aAck,
                              std::optional<Clock::time_point> aDeadline)
{
    using std::chrono::milliseconds;
    const ZuResult closed(ZU_NOT_CONNECTED, ZuString("the control channel is closed"));
    ++mSettings->commands;
    const uint32_t retries = mSettings->retries;
    const auto wait = milliseconds(std::max<uint32_t>(1, mSettings->answerTimeoutMs));
    // However often the device asks for more time, the request ends by
    // then; a device that never does gets every try in full, even when this
    // thread was kept from running for a while between tries.
    auto extendedLimit = std::max(Clock::now() + milliseconds(mSettings->commandTimeoutMs), UnextendedDeadline());
    if (aDeadline) extendedLimit = std::min(extendedLimit, *aDeadline);
    bool extended = false;
    auto limit = aDeadline ? *aDeadline : Clock::time_point::max();
    for (uint32_t attempt = 0; attempt <= retries; ++attempt) {
        if (mClosed || mInterrupted) return closed;
        if (Clock::now() >= limit) break;
        if (attempt) ++mSettings->resent;
        if (!Send(aPacket)) return ZuResult(ZU_NETWORK_ERROR, ZuString("the command could not be sent"));
        auto until = std::min(Clock::now() + wait, limit);
        for (;;) {
            auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
            if (left <= 0) break;
            if (!Receive(int(left))) {
                if (mClosed || mInterrupted) return closed;
                if (mTcpLost) return ZuResult(ZU_NETWORK_ERROR, ZuString("the device closed the control connection"));
                continue;
            }
            auto ack = gvcp::decodeAck(mBuffer, size_t(mReceived));
            // Late answers to earlier requests, and anything else, are dropped.
            if (!ack || ack->header.ackId != aReqId) continue;
            mLastAnswer = Ticks(Clock::now());
            if (ack->header.answer == gvcp::PENDING_ACK) {
                // The device needs longer: wait for what it announced, then as usual.
                ++mSettings->pendingAcks;
                extended = true;
                limit = extendedLimit;
                auto pending = gvcp::PendingAck::decode(*ack);
                until = std::min(Clock::now() + milliseconds(pending ? pending->timeToCompletionMs : 0) + wait, limit);
                continue;
            }
            if (ack->header.answer != aAnswer) continue;
            aAck = std::move(*ack);
            return ZuResult();
        }
    }
    ++mSettings->timeouts;
    if (extended && Clock::now() >= limit)
        return ZuResult(ZU_TIMEOUT, ZuString("the device kept asking for more time than CommandTimeout allows"));
    return ZuResult(ZU_TIMEOUT, ZuString("the device did not answer"));
}

ZuResult GvcpClient::ReadRegisters(const std::vector<uint32_t> &aAddresses, std::vector<uint32_t> &aValues,
                                   std::optional<Clock::time_point> aDeadline)
{
    aValues.clear();
    if (aAddresses.empty() || aAddresses.size() > gvcp::kMaxPayload / 4)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("1 to 135 registers per request"));
    for (uint32_t a : aAddresses)
        if (a % 4) return ZuResult(ZU_INVALID_PARAMETER, ZuString("a register address is a multiple of 4"));
    std::lock_guard<std::mutex> lock(mLock);
    const uint16_t id = NextId();
    gvcp::Ack ack;
    ZuResult r = Transact(gvcp::ReadRegCmd{aAddresses}.encode(id), id, gvcp::READREG_ACK, ack, aDeadline);
    if (!r.IsOK()) return r;
    if (ack.header.status != gvcp::STATUS_SUCCESS) return ResultOfStatus(ack.header.status, "READREG");
    auto values = gvcp::ReadRegAck::decode(ack);
    if (!values || values->values.size() != aAddresses.size())
        return ZuResult(ZU_CORRUPTED_DATA, ZuString("READREG answered with another number of registers"));
    aValues = std::move(values->values);
    return r;
}

ZuResult GvcpClient::ReadRegister(uint32_t aAddress, uint32_t &aValue, std::optional<Clock::time_point> aDeadline)
{
    std::vector<uint32_t> values;
    ZuResult r = ReadRegisters({aAddress}, values, aDeadline);
    if (r.IsOK()) aValue = values[0];
    return r;
}

ZuResult GvcpClient::WriteRegisters(const std::vector<std::pair<uint32_t, uint32_t>> &aWrites, bool aAcknowledge,
                                    std::optional<Clock::time_point> aDeadline)
{
    if (aWrites.empty() || aWrites.size() > kWritesPerPacket)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("1 to 67 registers per request"));
    for (const auto &w : aWrites)
        if (w.first % 4) return ZuResult(ZU_INVALID_PARAMETER, ZuString("a register address is a multiple of 4"));
    std::lock_guard<std::mutex> lock(mLock);
    const uint16_t id = NextId();
    std::vector<uint8_t> packet = gvcp::WriteRegCmd{aWrites}.encode(id);
    if (!aAcknowledge) {
        // The flag asks for no acknowledge: the command leaves once.
        packet[1] = uint8_t(packet[1] & ~gvcp::FLAG_ACK_REQUIRED);
        ++mSettings->commands;
        if (mClosed || mInterrupted) return ZuResult(ZU_NOT_CONNECTED, ZuString("the control channel is closed"));
        return Send(packet)
                   ? ZuResult()
                   : ZuResult(ZU_NETWORK_ERROR, ZuString("the command could not be sent"));
    }
    gvcp::Ack ack;
    ZuResult r = Transact(packet, id, gvcp::WRITEREG_ACK, ack, aDeadline);
    if (!r.IsOK()) return r;
    if (ack.header.status != gvcp::STATUS_SUCCESS) return ResultOfStatus(ack.header.status, "WRITEREG");
    return r;
}

ZuResult GvcpClient::WriteRegister(uint32_t aAddress, uint32_t aValue, bool aAcknowledge,
                                   std::optional<Clock::time_point> aDeadline)
{
    return WriteRegisters({{aAddress, aValue}}, aAcknowledge, aDeadline);
}

namespace {

ZuResult CheckRange(uint64_t aAddress, uint64_t aCount)
{
    if (aCount == 0 || aAddress % 4 || aCount % 4)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("address and byte count are multiples of 4, the count not 0"));
    if (aAddress >= kAddressSpace || aCount > kAddressSpace - aAddress)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the range lies beyond the device's 32-bit address space"));
    return ZuResult();
}

// A packet's worth, a multiple of 4 from 4 to 536 bytes.
uint32_t ChunkOf(uint32_t aSetting)
{
    return std::clamp<uint32_t>(aSetting / 4 * 4, 4, gvcp::kMaxPayload - 4);
}

} // namespace

ZuResult GvcpClient::ReadMemory(uint64_t aAddress, uint8_t *aData, uint64_t aCount)
{
    ZuResult r = CheckRange(aAddress, aCount);
    if (!r.IsOK()) return r;
    const uint32_t chunk = ChunkOf(mSettings->readMemPacketSize);
    for (uint64_t done = 0; done < aCount;) {
        const uint32_t n = uint32_t(std::min<uint64_t>(chunk, aCount - done));
        const uint32_t address = uint32_t(aAddress + done);
        std::lock_guard<std::mutex> lock(mLock);
        const uint16_t id = NextId();
        gvcp::Ack ack;
        r = Transact(gvcp::ReadMemCmd{address, uint16_t(n)}.encode(id), id, gvcp::READMEM_ACK, ack, std::nullopt);
        if (!r.IsOK()) return r;
        if (ack.header.status != gvcp::STATUS_SUCCESS) return ResultOfStatus(ack.header.status, "READMEM");
        auto data = gvcp::ReadMemAck::decode(ack);
        if (!data || data->address != address || data->data.size() != n)
            return ZuResult(ZU_CORRUPTED_DATA, ZuString("READMEM answered with other memory than asked for"));
        std::copy(data->data.begin(), data->data.end(), aData + done);
        done += n;
    }
    return r;
}

ZuResult GvcpClient::WriteMemory(uint64_t aAddress, const uint8_t *aData, uint64_t aCount)
{
    ZuResult r = CheckRange(aAddress, aCount);
    if (!r.IsOK()) return r;
    if (!mWriteMem) {
        // A device without WRITEMEM takes the same bytes as registers.
        for (uint64_t done = 0; done < aCount;) {
            std::vector<std::pair<uint32_t, uint32_t>> writes;
            for (; done < aCount && writes.size() < kWritesPerPacket; done += 4) {
                const uint8_t *p = aData + done;
                uint32_t v = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
                writes.emplace_back(uint32_t(aAddress + done), v);
            }
            r = WriteRegisters(writes);
            if (!r.IsOK()) return r;
        }
        return r;
    }
    const uint32_t chunk = ChunkOf(mSettings->writeMemPacketSize);
    for (uint64_t done = 0; done < aCount;) {
        const uint32_t n = uint32_t(std::min<uint64_t>(chunk, aCount - done));
        gvcp::WriteMemCmd cmd;
        cmd.address = uint32_t(aAddress + done);
        cmd.data.assign(aData + done, aData + done + n);
        std::lock_guard<std::mutex> lock(mLock);
        const uint16_t id = NextId();
        gvcp::Ack ack;
        r = Transact(cmd.encode(id), id, gvcp::WRITEMEM_ACK, ack, std::nullopt);
        if (!r.IsOK()) return r;
        if (ack.header.status != gvcp::STATUS_SUCCESS) return ResultOfStatus(ack.header.status, "WRITEMEM");
        done += n;
    }
    return r;
}

} // namespace device
} // namespace tarn
