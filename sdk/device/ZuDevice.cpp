#include "Ports.h"

#include "tarn/DeviceBinding.h"
#include "tarn/Holds.h"
#include "tarn/Uses.h"
#include "ZuDeviceAdapter.h"

#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

using tarn::device::Connection;

namespace {

constexpr uint32_t kMaxPriority = 99;
// What GetPayloadSize answers when the device tells neither its payload
// nor its image size: enough for the buffers of most cameras.
constexpr uint32_t kFallbackPayload = 16u << 20;

ZuResult NotConnected()
{
    return ZuResult(ZU_NOT_CONNECTED, ZuString("the device is not connected"));
}

// Whether this process may run threads at a real-time priority.
bool MayUseRealTime(uint32_t aPriority)
{
    if (::geteuid() == 0) return true;
    rlimit limit{};
    return ::getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur >= aPriority;
}

} // namespace

// ---- State ------------------------------------------------------------------------

ZuDevice::State::State(ZuDevice *aDevice, ZuDeviceType aType)
    : device(aDevice), type(aType), settings(std::make_shared<tarn::device::Settings>()),
      sinks(std::make_shared<tarn::device::DeviceSinks>()),
      communication(tarn::device::MakeCommunicationParameters(settings))
{
}

ZuDevice::State::~State()
{
    Close();
}

std::shared_ptr<Connection> ZuDevice::State::Current() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mConnection && mConnection->Usable() ? mConnection : nullptr;
}

std::shared_ptr<Connection> ZuDevice::State::Any() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mConnection;
}

ZuResult ZuDevice::State::Connect(uint32_t aIp, ZuAccessType aAccess)
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (!device) return NotConnected();
        if (mConnection && mConnection->Usable())
            return ZuResult(ZU_GENERIC_ERROR, ZuString("the controller is connected already: disconnect first"));
    }
    // A connection whose link was lost goes first.
    Disconnect();
    auto connection = std::make_shared<Connection>(device, settings, sinks, priorities);
    ZuResult r = connection->Open(aIp, aAccess);
    if (!r.IsOK()) return r;
    std::lock_guard<std::mutex> lock(mLock);
    mConnection = std::move(connection);
    return r;
}

ZuResult ZuDevice::State::Disconnect()
{
    std::shared_ptr<Connection> gone;
    {
        // Taken out under the lock, closed outside it: closing waits for
        // the device's threads, whose callbacks may call the device.
        std::lock_guard<std::mutex> lock(mLock);
        gone.swap(mConnection);
    }
    if (gone) gone->Close();
    return ZuResult();
}

void ZuDevice::State::Close()
{
    Disconnect();
    {
        std::lock_guard<std::mutex> lock(mLock);
        device = nullptr;
    }
    sinks->Clear();
}

// ---- ZuDevice -----------------------------------------------------------------------

ZuDevice::ZuDevice(ZuDeviceType aType) : mState(std::make_shared<State>(this, aType)) {}

ZuDevice::~ZuDevice()
{
    mState->Close();
}

void ZuDevice::Free(ZuDevice *aDevice)
{
    const void *held = aDevice ? dynamic_cast<const void *>(aDevice) : nullptr;
    delete aDevice;
    // What the bindings held for it (its sinks) goes once it has.
    tarn::Holds::DropOwner(held);
}

void tarn::EndWaits(ZuDevice *aDevice)
{
    if (aDevice) aDevice->Disconnect();
}

ZuDeviceType ZuDevice::GetType() const
{
    return mState->type;
}

ZuResult ZuDevice::Disconnect()
{
    return mState->Disconnect();
}

namespace {

ZuResult LockParameters(Connection &aConnection, uint32_t aChannel, int64_t aValue)
{
    if (aChannel >= aConnection.StreamChannels())
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the device has no stream channel " + std::to_string(aChannel)));
    const auto &set = aConnection.Parameters();
    if (!set || !set->array.GetInteger(ZuString("TLParamsLocked"))) return ZuResult();
    ZuResult r = set->array.SetIntegerValue(ZuString("TLParamsLocked"), aValue);
    return r.IsOK() ? r : ZuResult(ZU_GENERIC_ERROR, r.GetDescription());
}

} // namespace

ZuResult ZuDevice::StreamEnable(uint32_t aChannel)
{
    auto c = mState->Current();
    return c ? LockParameters(*c, aChannel, 1) : NotConnected();
}

ZuResult ZuDevice::StreamDisable(uint32_t aChannel)
{
    auto c = mState->Current();
    return c ? LockParameters(*c, aChannel, 0) : NotConnected();
}

bool ZuDevice::IsConnected() const
{
    return mState->Current() != nullptr;
}

bool ZuDevice::IsMorvekPowered() const
{
    return false;
}

ZuResult ZuDevice::DumpGenICamXML(const ZuString &aFilePath)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    std::ofstream out(aFilePath.Narrow(), std::ios::binary | std::ios::trunc);
    if (!out) return ZuResult(ZU_CANNOT_OPEN_FILE, ZuString("cannot open '" + aFilePath.Narrow() + "'"));
    const auto &bytes = c->Description();
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) return ZuResult(ZU_FILE_ERROR, ZuString("cannot write '" + aFilePath.Narrow() + "'"));
    return ZuResult();
}

ZuResult ZuDevice::GetDefaultGenICamXMLFilename(ZuString &aFilename)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    aFilename = ZuString(c->DescriptionName());
    return ZuResult();
}

ZuGenParameterArray *ZuDevice::GetParameters()
{
    auto c = mState->Current();
    return c && c->Parameters() ? &c->Parameters()->array : nullptr;
}

ZuGenParameterArray *ZuDevice::GetCommunicationParameters()
{
    return &mState->communication->array;
}

ZuResult ZuDevice::ReadMemory(int64_t aAddress, uint8_t *aDestination, int64_t aByteCount)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    if (!aDestination || aAddress < 0 || aByteCount <= 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no memory, a negative address or nothing to read"));
    return c->Client().ReadMemory(uint64_t(aAddress), aDestination, uint64_t(aByteCount));
}

ZuResult ZuDevice::WriteMemory(int64_t aAddress, const uint8_t *aSource, int64_t aByteCount)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    if (!aSource || aAddress < 0 || aByteCount <= 0)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("no data, a negative address or nothing to write"));
    ZuResult r = c->Client().WriteMemory(uint64_t(aAddress), aSource, uint64_t(aByteCount));
    // The features over that memory read it again.
    if (r.IsOK() && c->Parameters()) c->Parameters()->array.InvalidateCache();
    return r;
}

ZuResult ZuDevice::WaitForMessagingChannelIdle(uint32_t aTimeout)
{
    auto c = mState->Current();
    return c ? c->WaitIdle(aTimeout) : NotConnected();
}

ZuResult ZuDevice::RegisterEventSink(ZuDeviceEventSink *aEventSink)
{
    return tarn::device::Join(mState->sinks, aEventSink);
}

ZuResult ZuDevice::UnregisterEventSink(ZuDeviceEventSink *aEventSink)
{
    return tarn::device::Leave(mState->sinks, aEventSink);
}

namespace {

ZuResult SetPriority(ZuDevice::State &aState, tarn::device::ThreadRole aRole, uint32_t aPriority)
{
    if (aPriority > kMaxPriority) return ZuResult(ZU_INVALID_PARAMETER, ZuString("priorities go from 0 to 99"));
    if (aPriority && !MayUseRealTime(aPriority))
        return ZuResult(ZU_THREAD_ERROR, ZuString("this process may not use real-time priorities"));
    if (auto c = aState.Current()) {
        ZuResult r = c->ApplyPriority(aRole, aPriority);
        if (!r.IsOK()) return r;
    }
    aState.priorities[aRole] = aPriority;
    return ZuResult();
}

} // namespace

uint32_t ZuDevice::GetHeartbeatThreadPriority() const
{
    return mState->priorities[tarn::device::kHeartbeatThread];
}

ZuResult ZuDevice::SetHeartbeatThreadPriority(uint32_t aPriority)
{
    return SetPriority(*mState, tarn::device::kHeartbeatThread, aPriority);
}

uint32_t ZuDevice::GetInterruptLinkThreadPriority() const
{
    return mState->priorities[tarn::device::kInterruptLinkThread];
}

ZuResult ZuDevice::SetInterruptLinkThreadPriority(uint32_t aPriority)
{
    return SetPriority(*mState, tarn::device::kInterruptLinkThread, aPriority);
}

uint32_t ZuDevice::GetInterruptQueueThreadPriority() const
{
    return mState->priorities[tarn::device::kInterruptQueueThread];
}

ZuResult ZuDevice::SetInterruptQueueThreadPriority(uint32_t aPriority)
{
    return SetPriority(*mState, tarn::device::kInterruptQueueThread, aPriority);
}

uint32_t ZuDevice::GetPayloadSize()
{
    auto c = mState->Current();
    if (!c) return 0;
    const auto &set = c->Parameters();
    if (!set) return kFallbackPayload;
    int64_t payload = 0, width = 0, height = 0, format = 0;
    if (set->array.GetIntegerValue(ZuString("PayloadSize"), payload).IsOK() && payload > 0 && payload <= UINT32_MAX)
        return uint32_t(payload);
    if (set->array.GetIntegerValue(ZuString("Width"), width).IsOK() &&
        set->array.GetIntegerValue(ZuString("Height"), height).IsOK() &&
        set->array.GetEnumValue(ZuString("PixelFormat"), format).IsOK()) {
        // A pixel format's code holds its bits per pixel (bits 16 to 23).
        const uint64_t bits = (uint64_t(format) >> 16) & 0xFF;
        const uint64_t bytes = (uint64_t(width) * uint64_t(height) * bits + 7) / 8;
        if (width > 0 && height > 0 && bits && bytes <= UINT32_MAX) return uint32_t(bytes);
    }
    return kFallbackPayload;
}

ZuResult ZuDevice::GetUniqueID(ZuString &aDeviceUniqueID)
{
    auto c = mState->Current();
    if (!c) return NotConnected();
    aDeviceUniqueID = ZuString(tarn::gvcp::formatMac(c->Identity().mac, ':', false));
    return ZuResult();
}

// ---- What the bindings need ----------------------------------------------------

namespace tarn {

std::shared_ptr<ZuGenParameterArray> DeviceBinding::ShareParameters(ZuDevice &aDevice, ZuGenParameterArray *aArray)
{
    const auto &state = aDevice.GetState();
    if (aArray == &state->communication->array)
        return std::shared_ptr<ZuGenParameterArray>(state->communication, aArray);
    if (auto c = state->Any())
        if (const auto &set = c->Parameters(); set && aArray == &set->array)
            return std::shared_ptr<ZuGenParameterArray>(set, aArray);
    return nullptr;
}

} // namespace tarn
