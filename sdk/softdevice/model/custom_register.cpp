#include "softdevice/model/custom_register.h"

#include "softdevice/model/guard.h"
#include "tarn/Holds.h"
#include "tarn/Interrupts.h"
#include "tarn/UpCalls.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>

namespace tarn {
namespace softdevice {

namespace {

// The registers whose notifications run on this thread, innermost last.
thread_local std::vector<const CustomRegister *> tNotifying;

struct Notifying {
    explicit Notifying(const CustomRegister *aRegister) { tNotifying.push_back(aRegister); }
    ~Notifying() { tNotifying.pop_back(); }
    Notifying(const Notifying &) = delete;
    Notifying &operator=(const Notifying &) = delete;
};

bool inRange(size_t aSize, uint32_t aOffset, uint32_t aCount)
{
    return uint64_t(aOffset) + aCount <= aSize;
}

uint16_t statusOf(const ZuResult &aResult)
{
    if (aResult.IsOK()) return kStatusSuccess;
    return aResult.GetCode() == ZU_INVALID_PARAMETER ? kStatusInvalidParameter : kStatusError;
}

void putBig(uint8_t *aOut, uint64_t aValue, size_t aBytes)
{
    for (size_t i = 0; i < aBytes; ++i) aOut[i] = uint8_t(aValue >> (8 * (aBytes - 1 - i)));
}

uint64_t getBig(const uint8_t *aIn, size_t aBytes)
{
    uint64_t v = 0;
    for (size_t i = 0; i < aBytes; ++i) v = v << 8 | aIn[i];
    return v;
}

} // namespace

CustomRegister::CustomRegister(const std::string &aName, uint32_t aAddress, uint32_t aLength, ZuGenAccessMode aAccess,
                               bool aByteArray, void *aContext, std::shared_ptr<void> aContextHold)
    : mName(aName.c_str()), mAddress(aAddress), mAccess(aAccess), mByteArray(aByteArray), mContext(aContext),
      mContextHold(std::move(aContextHold)), mBytes(aLength, 0), mAccepted(aLength, 0)
{
}

CustomRegister::~CustomRegister()
{
    tarn::Lent::Goes(this);
    // What a binding held for it (its sinks) goes with it.
    tarn::Holds::DropOwner(this);
}

bool CustomRegister::IsWritable() const
{
    return mAccess == ZuGenAccessModeReadWrite || mAccess == ZuGenAccessModeWriteOnly;
}

bool CustomRegister::IsReadable() const
{
    return mAccess == ZuGenAccessModeReadWrite || mAccess == ZuGenAccessModeReadOnly;
}

bool CustomRegister::InOwnNotification() const
{
    return std::find(tNotifying.begin(), tNotifying.end(), this) != tNotifying.end();
}

void CustomRegister::Refresh()
{
    const uint32_t value = mValue->Load();
    std::lock_guard<std::mutex> lock(mLock);
    if (mContentWrite != mAcceptedWrite || mBytes.size() != 4) return;
    putBig(mBytes.data(), value, 4);
    mAccepted = mBytes;
}

ZuResult CustomRegister::Keep(uint64_t aWrite)
{
    uint32_t value = 0;
    {
        std::lock_guard<std::mutex> lock(mLock);
        // A later write owns the content by now: it hands it over itself.
        if (mContentWrite != aWrite || mBytes.size() != 4) return ZuResult(ZU_OK);
        value = uint32_t(getBig(mBytes.data(), 4));
    }
    return mValue->Store(value);
}

ZuResult CustomRegister::ReadAt(uint8_t *aOut, uint32_t aCount, uint32_t aOffset)
{
    if (!inRange(mBytes.size(), aOffset, aCount)) return ZuResult(ZU_INVALID_PARAMETER);
    if (aCount && !aOut) return ZuResult(ZU_INVALID_PARAMETER);
    // A read from inside the register's own notification sees the bytes
    // as they are (a PreWrite sink, the new value).
    if (mValue && !InOwnNotification()) Refresh();
    // No sink is called once the application's interpreter finalises.
    tarn::UpCalls::Scope gate;
    const bool notify = gate && !InOwnNotification();
    if (notify) {
        Notifying scope(this);
        ZuResult refused(ZU_OK);
        mSinks.ForEach([&](IZuRegisterEventSink *s) {
            if (!refused.IsOK()) return;
            ZuResult r = s->PreRead(this);
            if (!r.IsOK()) refused = r;
        });
        if (!refused.IsOK()) return refused;
    }
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (aCount) std::memcpy(aOut, mBytes.data() + aOffset, aCount);
    }
    if (notify) {
        Notifying scope(this);
        mSinks.ForEach([&](IZuRegisterEventSink *s) { s->PostRead(this); });
    }
    return ZuResult(ZU_OK);
}

ZuResult CustomRegister::WriteAt(const uint8_t *aData, uint32_t aCount, uint32_t aOffset)
{
    if (!inRange(mBytes.size(), aOffset, aCount)) return ZuResult(ZU_INVALID_PARAMETER);
    if (aCount && !aData) return ZuResult(ZU_INVALID_PARAMETER);
    uint64_t mine = 0;
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (aCount) std::memcpy(mBytes.data() + aOffset, aData, aCount);
        mine = ++mWrites;
        mContentWrite = mine;
    }
    // The sinks' verdict. Writes of one register may overlap, each with its
    // sinks running: the accepted content is the latest accepted write's, and
    // a refusal puts that back unless a later write owns the bytes by now.
    auto settle = [&](bool aAccepted) {
        std::lock_guard<std::mutex> lock(mLock);
        if (aAccepted) {
            if (mine <= mAcceptedWrite) return;
            if (aCount) std::memcpy(mAccepted.data() + aOffset, aData, aCount);
            mAcceptedWrite = mine;
            if (mContentWrite >= mine) return;
        } else if (mContentWrite != mine) {
            return;
        }
        mBytes = mAccepted;
        mContentWrite = mAcceptedWrite;
    };
    // The owner of the value has the last word, after the sinks.
    auto kept = [&]() -> ZuResult {
        if (!mValue) return ZuResult(ZU_OK);
        try {
            return Keep(mine);
        } catch (...) {
            settle(false);
            throw;
        }
    };
    tarn::UpCalls::Scope gate;
    if (!gate || InOwnNotification()) {
        const ZuResult r = kept();
        settle(r.IsOK());
        return r;
    }
    ZuResult refused(ZU_OK);
    {
        Notifying scope(this);
        try {
            mSinks.ForEach([&](IZuRegisterEventSink *s) {
                if (!refused.IsOK()) return;
                ZuResult r = s->PreWrite(this);
                if (!r.IsOK()) refused = r;
            });
        } catch (...) {
            settle(false);
            throw;
        }
    }
    if (refused.IsOK()) refused = kept();
    settle(refused.IsOK());
    if (!refused.IsOK()) return refused;
    Notifying scope(this);
    mSinks.ForEach([&](IZuRegisterEventSink *s) { s->PostWrite(this); });
    return ZuResult(ZU_OK);
}

ZuResult CustomRegister::ReadBytes(uint8_t *aData, uint32_t aDataLength, uint32_t aOffset)
{
    return ReadAt(aData, aDataLength, aOffset);
}

ZuResult CustomRegister::Write(const uint8_t *aData, uint32_t aDataLength, uint32_t aOffset)
{
    return WriteAt(aData, aDataLength, aOffset);
}

ZuResult CustomRegister::ReadInt(uint32_t &aValue, uint32_t aOffset)
{
    uint8_t bytes[4];
    ZuResult r = ReadAt(bytes, 4, aOffset);
    if (r.IsOK()) aValue = uint32_t(getBig(bytes, 4));
    return r;
}

ZuResult CustomRegister::Write(uint32_t aValue, uint32_t aOffset)
{
    uint8_t bytes[4];
    putBig(bytes, aValue, 4);
    return WriteAt(bytes, 4, aOffset);
}

ZuResult CustomRegister::ReadString(ZuString &aValue)
{
    std::vector<uint8_t> bytes(mBytes.size());
    ZuResult r = ReadAt(bytes.data(), uint32_t(bytes.size()), 0);
    if (!r.IsOK()) return r;
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t(0));
    aValue = ZuString(std::string(bytes.begin(), end));
    return r;
}

ZuResult CustomRegister::Write(const ZuString &aValue)
{
    const std::string text = aValue.Narrow();
    if (text.size() > mBytes.size()) return ZuResult(ZU_INVALID_PARAMETER);
    std::vector<uint8_t> bytes(mBytes.size(), 0);
    std::copy(text.begin(), text.end(), bytes.begin());
    return WriteAt(bytes.data(), uint32_t(bytes.size()), 0);
}

ZuResult CustomRegister::ReadFloat(float &aValue)
{
    uint8_t bytes[4];
    ZuResult r = ReadAt(bytes, 4, 0);
    if (r.IsOK()) {
        const uint32_t bits = uint32_t(getBig(bytes, 4));
        std::memcpy(&aValue, &bits, 4);
    }
    return r;
}

ZuResult CustomRegister::WriteFloat(float aValue)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &aValue, 4);
    uint8_t bytes[4];
    putBig(bytes, bits, 4);
    return WriteAt(bytes, 4, 0);
}

ZuResult CustomRegister::ReadDouble(double &aValue)
{
    uint8_t bytes[8];
    ZuResult r = ReadAt(bytes, 8, 0);
    if (r.IsOK()) {
        const uint64_t bits = getBig(bytes, 8);
        std::memcpy(&aValue, &bits, 8);
    }
    return r;
}

ZuResult CustomRegister::WriteDouble(double aValue)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &aValue, 8);
    uint8_t bytes[8];
    putBig(bytes, bits, 8);
    return WriteAt(bytes, 8, 0);
}

ZuResult CustomRegister::AddSink(IZuRegisterEventSink *aSink, std::shared_ptr<void> aHold)
{
    ZuResult r = mSinks.Add(aSink, ZU_INVALID_PARAMETER);
    // Held as a binding holds the sinks it registers (tarn::Holds).
    if (r.IsOK() && aHold)
        tarn::Holds::Keep(this, tarn::Holds::kSinks, dynamic_cast<const void *>(aSink), std::move(aHold), true);
    return r;
}

ZuResult CustomRegister::AddEventSink(IZuRegisterEventSink *aEventSink)
{
    return AddSink(aEventSink, nullptr);
}

ZuResult CustomRegister::RemoveEventSink(IZuRegisterEventSink *aEventSink)
{
    ZuResult r = mSinks.Remove(aEventSink);
    // Documented: a sink not attached is an invalid parameter here.
    return r.IsOK() ? r : ZuResult(ZU_INVALID_PARAMETER, r.GetDescription());
}

// A sink that throws on the controller's thread fails that access only.
uint16_t CustomRegister::ControllerRead(uint32_t aOffset, uint32_t aCount, uint8_t *aOut)
{
    if (!IsReadable()) return kStatusAccessDenied;
    uint16_t status = kStatusError;
    guarded(mFailures, [&] { status = statusOf(ReadAt(aOut, aCount, aOffset)); });
    return status;
}

uint16_t CustomRegister::ControllerWrite(uint32_t aOffset, const uint8_t *aData, uint32_t aCount)
{
    if (!IsWritable()) return kStatusWriteProtect;
    uint16_t status = kStatusError;
    guarded(mFailures, [&] { status = statusOf(WriteAt(aData, aCount, aOffset)); });
    return status;
}

std::vector<uint8_t> CustomRegister::Content() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mBytes;
}

void CustomRegister::SetContent(const std::vector<uint8_t> &aBytes)
{
    std::lock_guard<std::mutex> lock(mLock);
    std::copy_n(aBytes.begin(), std::min(aBytes.size(), mBytes.size()), mBytes.begin());
    mAccepted = mBytes;
    mAcceptedWrite = mContentWrite = ++mWrites;
}

bool CustomRegister::Persist(IZuRegisterStore &aStore, ZuResult &aResult)
{
    bool handled = false;
    aResult = ZuResult(ZU_OK);
    tarn::UpCalls::Scope gate;
    if (!gate) return false;
    mSinks.ForEach([&](IZuRegisterEventSink *s) {
        ZuResult r = s->Persist(this, &aStore);
        if (r.GetCode() == ZU_NOT_IMPLEMENTED) return;
        handled = true;
        if (!r.IsOK() && aResult.IsOK()) aResult = r;
    });
    return handled;
}

// ---- The map

RegisterCatalog::~RegisterCatalog()
{
    Clear();
}

size_t RegisterCatalog::GetRegisterCount()
{
    std::lock_guard<std::mutex> lock(mLock);
    return mRegisters.size();
}

IZuRegister *RegisterCatalog::GetRegisterByIndex(size_t aIndex)
{
    std::lock_guard<std::mutex> lock(mLock);
    return aIndex < mRegisters.size() ? mRegisters[aIndex].get() : nullptr;
}

IZuRegister *RegisterCatalog::GetRegisterByAddress(uint32_t aAddress)
{
    return Find(aAddress);
}

CustomRegister *RegisterCatalog::Find(uint32_t aAddress)
{
    std::lock_guard<std::mutex> lock(mLock);
    for (auto &r : mRegisters)
        if (r->GetAddress() == aAddress) return r.get();
    return nullptr;
}

std::vector<CustomRegister *> RegisterCatalog::All()
{
    std::lock_guard<std::mutex> lock(mLock);
    std::vector<CustomRegister *> out;
    for (auto &r : mRegisters) out.push_back(r.get());
    return out;
}

ZuResult RegisterCatalog::Lock()
{
    std::unique_lock<std::mutex> lock(mLock);
    if (!mRunning) return ZuResult(ZU_STATE_ERROR);
    mFree.wait(lock, [&] { return !mLocked || !mRunning; });
    if (!mRunning) return ZuResult(ZU_STATE_ERROR);
    mLocked = true;
    return ZuResult(ZU_OK);
}

ZuResult RegisterCatalog::Lock(uint32_t aTimeout)
{
    std::unique_lock<std::mutex> lock(mLock);
    if (!mRunning) return ZuResult(ZU_STATE_ERROR);
    switch (tarn::Interrupts::WaitFor(mFree, lock, aTimeout, [&] { return !mLocked || !mRunning; })) {
    case tarn::Interrupts::Wait::Interrupted: return tarn::Interrupts::Result();
    case tarn::Interrupts::Wait::TimedOut: return ZuResult(ZU_TIMEOUT);
    case tarn::Interrupts::Wait::Done: break;
    }
    if (!mRunning) return ZuResult(ZU_STATE_ERROR);
    mLocked = true;
    return ZuResult(ZU_OK);
}

void RegisterCatalog::Release()
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        mLocked = false;
    }
    mFree.notify_all();
}

void RegisterCatalog::SetRunning(bool aRunning)
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        mRunning = aRunning;
    }
    mFree.notify_all();
}

ZuResult RegisterCatalog::Create(RegisterSpace &aSpace, const std::string &aName, uint32_t aAddress, uint32_t aLength,
                                 ZuGenAccessMode aAccess, bool aByteArray, IZuRegisterEventSink *aSink, void *aContext,
                                 std::shared_ptr<void> aSinkHold, std::shared_ptr<void> aContextHold)
{
    // Beyond the bootstrap block, 4-byte aligned, and nothing there yet.
    if (aAddress < 0x10000 || aAddress % 4 || aLength == 0 || !aSpace.IsFree(aAddress, aLength))
        return ZuResult(ZU_GENERIC_ERROR, ZuString("the register's address is taken, misaligned or in the bootstrap block"));
    auto reg = std::make_unique<CustomRegister>(aName, aAddress, aLength, aAccess, aByteArray, aContext,
                                                std::move(aContextHold));
    if (aSink) reg->AddSink(aSink, std::move(aSinkHold));
    CustomRegister *r = reg.get();
    RegisterSpace::Range range;
    range.read = [r](uint32_t o, uint32_t n, uint8_t *out) { return r->ControllerRead(o, n, out); };
    range.write = [r](uint32_t o, const uint8_t *d, uint32_t n) { return r->ControllerWrite(o, d, n); };
    range.check = [r](uint32_t, const uint8_t *, uint32_t) { return r->IsWritable() ? kStatusSuccess : kStatusWriteProtect; };
    range.peek = [r](uint32_t o, uint32_t n, uint8_t *out) {
        const std::vector<uint8_t> bytes = r->Content();
        std::memcpy(out, bytes.data() + o, n);
        return kStatusSuccess;
    };
    aSpace.AddRange(aAddress, aLength, std::move(range));
    std::lock_guard<std::mutex> lock(mLock);
    mRegisters.push_back(std::move(reg));
    return ZuResult(ZU_OK);
}

uint32_t RegisterCatalog::FreeAddress(const RegisterSpace &aSpace, uint32_t aLength) const
{
    const uint32_t step = std::max<uint32_t>(4, (aLength + 3u) & ~3u);
    uint64_t at = kCustomRegisterBase;
    while (at + aLength <= 0xFFFFFFFFull) {
        if (aSpace.IsFree(uint32_t(at), aLength)) return uint32_t(at);
        at += step;
    }
    return 0;
}

void RegisterCatalog::Clear()
{
    std::vector<std::unique_ptr<CustomRegister>> gone;
    {
        std::unique_lock<std::mutex> lock(mLock);
        mRunning = false;
        // A script holding the map keeps its registers: a held lock makes
        // this wait, as the map's contract says.
        mFree.wait(lock, [&] { return !mLocked; });
        gone.swap(mRegisters);
    }
    mFree.notify_all();
}

void RegisterCatalog::ForgetSink(IZuRegisterEventSink *aSink)
{
    for (CustomRegister *r : All()) r->RemoveEventSink(aSink);
}

// ---- The factory

void RegisterFactory::HoldNext(int aWhich, std::shared_ptr<void> aHold)
{
    (aWhich == 0 ? mSinkHold : mContextHold) = std::move(aHold);
}

ZuResult RegisterFactory::AddRegister(const ZuString &aName, uint32_t aAddress, uint32_t aLength,
                                      ZuGenAccessMode aAccessMode, IZuRegisterEventSink *aRegisterEventSink,
                                      void *aContext)
{
    std::shared_ptr<void> sink = std::move(mSinkHold), context = std::move(mContextHold);
    if (aLength != 4 && aLength != 8) return ZuResult(ZU_GENERIC_ERROR, ZuString("an integer or float register is 4 or 8 bytes long"));
    return mCatalog.Create(mSpace, aName.Narrow(), aAddress, aLength, aAccessMode, false, aRegisterEventSink, aContext,
                           std::move(sink), std::move(context));
}

ZuResult RegisterFactory::AddRegisterAuto(const ZuString &aName, uint32_t &aAssignedAddress, uint32_t aLength,
                                          ZuGenAccessMode aAccessMode, IZuRegisterEventSink *aRegisterEventSink,
                                          void *aContext)
{
    std::shared_ptr<void> sink = std::move(mSinkHold), context = std::move(mContextHold);
    if (aLength != 4 && aLength != 8) return ZuResult(ZU_GENERIC_ERROR, ZuString("an integer or float register is 4 or 8 bytes long"));
    const uint32_t at = mCatalog.FreeAddress(mSpace, aLength);
    if (!at) return ZuResult(ZU_GENERIC_ERROR, ZuString("no free register space"));
    ZuResult r = mCatalog.Create(mSpace, aName.Narrow(), at, aLength, aAccessMode, false, aRegisterEventSink, aContext,
                                 std::move(sink), std::move(context));
    if (r.IsOK()) aAssignedAddress = at;
    return r;
}

ZuResult RegisterFactory::AddByteArray(const ZuString &aName, uint32_t aAddress, uint32_t aLength,
                                       ZuGenAccessMode aAccessMode, IZuRegisterEventSink *aRegisterEventSink,
                                       void *aContext)
{
    std::shared_ptr<void> sink = std::move(mSinkHold), context = std::move(mContextHold);
    if (aLength == 0 || aLength % 4) return ZuResult(ZU_GENERIC_ERROR, ZuString("a byte array's length is a multiple of 4"));
    return mCatalog.Create(mSpace, aName.Narrow(), aAddress, aLength, aAccessMode, true, aRegisterEventSink, aContext,
                           std::move(sink), std::move(context));
}

} // namespace softdevice
} // namespace tarn
