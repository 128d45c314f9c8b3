#include "GvcpClient.h"

#include "tarn/Interrupts.h"

#include <algorithm>

namespace tarn {
namespace device {

namespace {

constexpr uint64_t kAddressSpace = uint64_t(1) << 32;
constexpr size_t kWritesPerPacket = gvcp::kMaxPayload / 8;

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

GvcpClient::GvcpClient(std::shared_ptr<ClientSettings> aSettings) : mSettings(std::move(aSettings))
{
    mExchange.Halt();  // closed until opened
}

GvcpClient::~GvcpClient()
{
    Close();
}

ZuResult GvcpClient::Open(uint32_t aDeviceIp, uint16_t aPort)
{
    std::lock_guard<std::mutex> lock(mLock);
    mLocalIp = net::localAddressToward(aDeviceIp);
    if (!mLocalIp) return ZuResult(ZU_NETWORK_ERROR, ZuString("no route to " + gvcp::formatIPv4(aDeviceIp)));
    if (!mExchange.Valid()) return ZuResult(ZU_THREAD_ERROR, ZuString("no wake-up descriptor for the control channel"));
    mExchange.Clear();
    std::string error;
    if (!mExchange.Add({{mLocalIp, 0}, {{aDeviceIp, aPort}}}, &error)) return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
    mDevice = {aDeviceIp, aPort};
    mExchange.Resume();
    mClosed = false;
    return ZuResult();
}

void GvcpClient::Close()
{
    if (mClosed.exchange(true)) return;
    mExchange.Halt();  // ends a wait in progress
    std::lock_guard<std::mutex> lock(mLock);
    mExchange.Clear();
}

void GvcpClient::Interrupt()
{
    mExchange.Halt();
}

void GvcpClient::Resume()
{
    // Once the request that was ended has returned. A stop no wait took
    // costs the next wait one more turn, no more.
    std::lock_guard<std::mutex> lock(mLock);
    if (!mClosed) mExchange.Resume();
}

ZuResult GvcpClient::UseTcp(uint16_t aPort)
{
    std::lock_guard<std::mutex> lock(mLock);
    std::string error;
    if (!mExchange.UseTcp({mDevice.ip, aPort}, int(AnswerTimeout().count()), &error))
        return ZuResult(ZU_NETWORK_ERROR, ZuString(error));
    return ZuResult();
}

void GvcpClient::UseUdp()
{
    std::lock_guard<std::mutex> lock(mLock);
    mExchange.UseUdp();
}

bool GvcpClient::OnTcp() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mExchange.OnTcp();
}

Clock::time_point GvcpClient::LastAnswer() const
{
    return mExchange.LastAnswer();
}

std::chrono::milliseconds GvcpClient::AnswerTimeout() const
{
    return std::chrono::milliseconds(std::max<uint32_t>(1, mSettings->answerTimeoutMs));
}

Clock::time_point GvcpClient::UnextendedDeadline() const
{
    return UnextendedDeadline(Clock::now());
}

Clock::time_point GvcpClient::UnextendedDeadline(Clock::time_point aFrom) const
{
    return aFrom + AnswerTimeout() * (uint64_t(mSettings->retries) + 1);
}

ZuResult GvcpClient::Transact(gvcp::Bytes aPacket, uint16_t aReqId, uint16_t aAnswer, const char *aWhat,
                              gvcp::Ack &aAck, std::optional<Clock::time_point> aDeadline)
{
    gvcpclient::Exchange::Request request;
    request.packet = std::move(aPacket);
    request.id = aReqId;
    request.answer = aAnswer;
    request.retries = mSettings->retries;
    request.wait = AnswerTimeout();
    request.deadline = aDeadline;
    // However often the device asks for more time, the request ends by
    // then; a device that never does gets every try in full, even when this
    // thread was kept from running for a while between tries.
    const auto now = Clock::now();
    request.pendingLimit = std::max(now + std::chrono::milliseconds(mSettings->commandTimeoutMs), UnextendedDeadline(now));
    if (aDeadline) request.pendingLimit = std::min(*request.pendingLimit, *aDeadline);
    const auto outcome = mExchange.Ask(request, [&](const gvcpclient::Exchange::Answer &aAnswered) {
        aAck = aAnswered.ack;
        return true;
    }, mSettings.get());
    switch (outcome) {
    case gvcpclient::Exchange::Outcome::Answered:
        if (aAck.header.status != gvcp::STATUS_SUCCESS) return ResultOfStatus(aAck.header.status, aWhat);
        return ZuResult();
    case gvcpclient::Exchange::Outcome::KeptPending:
        return ZuResult(ZU_TIMEOUT, ZuString("the device kept asking for more time than CommandTimeout allows"));
    case gvcpclient::Exchange::Outcome::Halted: return ZuResult(ZU_NOT_CONNECTED, ZuString("the control channel is closed"));
    case gvcpclient::Exchange::Outcome::Lost:
        return ZuResult(ZU_NETWORK_ERROR, ZuString("the device closed the control connection"));
    case gvcpclient::Exchange::Outcome::NotSent:
    case gvcpclient::Exchange::Outcome::Sent: break;
    case gvcpclient::Exchange::Outcome::TimedOut: return ZuResult(ZU_TIMEOUT, ZuString("the device did not answer"));
    case gvcpclient::Exchange::Outcome::Interrupted: return Interrupts::Result();
    }
    return ZuResult(ZU_NETWORK_ERROR, ZuString("the command could not be sent"));
}

ZuResult GvcpClient::ReadRegisters(const std::vector<uint32_t> &aAddresses, std::vector<uint32_t> &aValues,
                                   std::optional<Clock::time_point> aDeadline)
{
    aValues.clear();
    std::vector<uint32_t> values(aAddresses.size());
    ZuResult r = ReadRegisters(aAddresses.data(), aAddresses.size(), values.data(), aDeadline);
    if (r.IsOK()) aValues = std::move(values);
    return r;
}

ZuResult GvcpClient::ReadRegisters(const uint32_t *aAddresses, size_t aCount, uint32_t *aValues,
                                   std::optional<Clock::time_point> aDeadline)
{
    if (aCount == 0 || aCount > gvcp::kMaxPayload / 4)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("1 to 135 registers per request"));
    for (size_t k = 0; k < aCount; ++k)
        if (aAddresses[k] % 4) return ZuResult(ZU_INVALID_PARAMETER, ZuString("a register address is a multiple of 4"));
    std::lock_guard<std::mutex> lock(mLock);
    const uint16_t id = mExchange.NextId();
    ZuResult r = Transact(gvcp::ReadRegCmd::Encode(aAddresses, aCount, id), id, gvcp::READREG_ACK, "READREG",
                          mReadAck, aDeadline);
    if (!r.IsOK()) return r;
    if (!gvcp::ReadRegAck::DecodeInto(mReadAck, aValues, aCount))
        return ZuResult(ZU_CORRUPTED_DATA, ZuString("READREG answered with another number of registers"));
    return r;
}

ZuResult GvcpClient::ReadRegister(uint32_t aAddress, uint32_t &aValue, std::optional<Clock::time_point> aDeadline)
{
    uint32_t value = 0;
    ZuResult r = ReadRegisters(&aAddress, 1, &value, aDeadline);
    if (r.IsOK()) aValue = value;
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
    const uint16_t id = mExchange.NextId();
    gvcp::Bytes packet = gvcp::WriteRegCmd{aWrites}.Encode(id);
    gvcp::Ack ack;
    if (aAcknowledge) return Transact(std::move(packet), id, gvcp::WRITEREG_ACK, "WRITEREG", ack, aDeadline);
    // The flag asks for no acknowledge: the command leaves once.
    packet[1] = uint8_t(packet[1] & ~gvcp::FLAG_ACK_REQUIRED);
    ++mSettings->commands;
    const auto outcome = mExchange.Post(packet, AnswerTimeout());
    if (outcome == gvcpclient::Exchange::Outcome::Halted)
        return ZuResult(ZU_NOT_CONNECTED, ZuString("the control channel is closed"));
    if (outcome != gvcpclient::Exchange::Outcome::Sent)
        return ZuResult(ZU_NETWORK_ERROR, ZuString("the command could not be sent"));
    return ZuResult();
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
        const uint16_t id = mExchange.NextId();
        gvcp::Ack ack;
        r = Transact(gvcp::ReadMemCmd{address, uint16_t(n)}.Encode(id), id, gvcp::READMEM_ACK, "READMEM", ack, std::nullopt);
        if (!r.IsOK()) return r;
        auto data = gvcp::ReadMemAck::Decode(ack);
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
        const uint16_t id = mExchange.NextId();
        gvcp::Ack ack;
        r = Transact(cmd.Encode(id), id, gvcp::WRITEMEM_ACK, "WRITEMEM", ack, std::nullopt);
        if (!r.IsOK()) return r;
        done += n;
    }
    return r;
}

} // namespace device
} // namespace tarn
