#ifndef TARN_SOFTDEVICE_CUSTOM_REGISTER_H
#define TARN_SOFTDEVICE_CUSTOM_REGISTER_H

// Registers that a script creates while the device starts, the map that
// holds them and the factory that creates them.
//
// A register holds its bytes in the wire's byte order (big-endian), so a
// controller's READMEM sees them as they are. Every access runs the
// register's sinks, and no lock is held while a sink runs: a sink is
// application code (Python, which takes the interpreter lock) and may read
// or write this or any other register, from this thread or another. A write
// is therefore committed first and taken back to the last accepted content
// when a pre-write sink refuses it, unless a later write owns the bytes by
// then. An access made from
// inside one of this register's own notifications on the same thread (a
// sink refreshing its register in PreRead) runs no sinks again.

#include "IZuRegister.h"
#include "IZuRegisterEventSink.h"
#include "IZuRegisterFactory.h"
#include "IZuRegisterMap.h"
#include "softdevice/model/declarations.h"
#include "softdevice/model/register_space.h"
#include "tarn/SinkList.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

// Where the value of a 4-byte register lives when it is not the bytes the
// register holds (a ready-made source's state): a read takes it from there
// before the sinks hear of the read, and a write the sinks accepted goes
// there before PostWrite; what store refuses (or throws) fails the write
// like a sink's refusal, and the register keeps its value.
class RegisterValue
{
public:
    virtual ~RegisterValue() {}
    virtual uint32_t Load() = 0;
    virtual ZuResult Store(uint32_t aValue) = 0;
};

class CustomRegister : public IZuRegister
{
public:
    CustomRegister(const std::string &aName, uint32_t aAddress, uint32_t aLength, ZuGenAccessMode aAccess,
                   bool aByteArray, void *aContext, std::shared_ptr<void> aContextHold);
    ~CustomRegister() override;

    const ZuString &GetName() override { return mName; }
    uint32_t GetAddress() const override { return mAddress; }
    size_t GetLength() const override { return mBytes.size(); }
    const void *GetContext() const override { return mContext; }
    void *GetContext() override { return mContext; }
    bool IsWritable() const override;
    bool IsReadable() const override;
    bool IsArrayOfBytes() const override { return mByteArray; }

    ZuResult ReadBytes(uint8_t *aData, uint32_t aDataLength, uint32_t aOffset = 0) override;
    ZuResult Write(const uint8_t *aData, uint32_t aDataLength, uint32_t aOffset = 0) override;
    ZuResult ReadInt(uint32_t &aValue, uint32_t aOffset = 0) override;
    ZuResult Write(uint32_t aValue, uint32_t aOffset = 0) override;
    ZuResult ReadString(ZuString &aValue) override;
    ZuResult Write(const ZuString &aValue) override;
    ZuResult ReadFloat(float &aValue) override;
    ZuResult WriteFloat(float aValue) override;
    ZuResult ReadDouble(double &aValue) override;
    ZuResult WriteDouble(double aValue) override;
    ZuResult AddEventSink(IZuRegisterEventSink *aEventSink) override;
    ZuResult RemoveEventSink(IZuRegisterEventSink *aEventSink) override;

    // A sink with what keeps its application object alive while attached.
    ZuResult AddSink(IZuRegisterEventSink *aSink, std::shared_ptr<void> aHold);
    // Accesses of a controller: GVCP statuses; access modes apply.
    uint16_t ControllerRead(uint32_t aOffset, uint32_t aCount, uint8_t *aOut);
    uint16_t ControllerWrite(uint32_t aOffset, const uint8_t *aData, uint32_t aCount);
    // The content as it is, and a write of all of it, both without sinks.
    std::vector<uint8_t> Content() const;
    void SetContent(const std::vector<uint8_t> &aBytes);
    // Asks each sink to persist the register; false when none did
    // (every sink answered ZU_NOT_IMPLEMENTED). aResult: the first failure.
    bool Persist(IZuRegisterStore &aStore, ZuResult &aResult);

    // Set while the device starts, before any access can reach the register.
    void SetValue(RegisterValue *aValue) { mValue = aValue; }

    // The feature declared over the register (user sets store it by name).
    std::string feature;
    bool streamable = false;

private:
    ZuResult ReadAt(uint8_t *aOut, uint32_t aCount, uint32_t aOffset);
    ZuResult WriteAt(const uint8_t *aData, uint32_t aCount, uint32_t aOffset);
    bool InOwnNotification() const;
    // The owner's value as the content, unless a write is under way.
    void Refresh();
    // Hands the content a write left to the owner.
    ZuResult Keep(uint64_t aWrite);

    ZuString mName;
    const uint32_t mAddress;
    const ZuGenAccessMode mAccess;
    const bool mByteArray;
    void *const mContext;
    std::shared_ptr<void> mContextHold;

    mutable std::mutex mLock;     // the bytes and the write count
    std::vector<uint8_t> mBytes;
    std::vector<uint8_t> mAccepted;   // as the accepted writes left it
    uint64_t mWrites = 0, mContentWrite = 0, mAcceptedWrite = 0;
    // A sink's hold rides with it; the list lets it go with no lock held,
    // since letting go of a Python object takes the interpreter lock.
    tarn::SinkList<IZuRegisterEventSink> mSinks;
    std::atomic<uint64_t> mFailures{0};
    RegisterValue *mValue = nullptr;
};

// The map of a device's custom registers. Lock keeps registers from being
// added or removed; register accesses need no lock.
class RegisterCatalog : public IZuRegisterMap
{
public:
    ~RegisterCatalog() override;

    size_t GetRegisterCount() override;
    IZuRegister *GetRegisterByIndex(size_t aIndex) override;
    IZuRegister *GetRegisterByAddress(uint32_t aAddress) override;
    ZuResult Lock() override;
    ZuResult Lock(uint32_t aTimeout) override;
    void Release() override;

    // The device runs (Lock answers ZU_STATE_ERROR otherwise).
    void SetRunning(bool aRunning);
    // Creates a register in the space; a GVCP-less result.
    ZuResult Create(RegisterSpace &aSpace, const std::string &aName, uint32_t aAddress, uint32_t aLength,
                    ZuGenAccessMode aAccess, bool aByteArray, IZuRegisterEventSink *aSink, void *aContext,
                    std::shared_ptr<void> aSinkHold, std::shared_ptr<void> aContextHold);
    // An address where aLength bytes fit, past every register so far.
    uint32_t FreeAddress(const RegisterSpace &aSpace, uint32_t aLength) const;
    // Every register goes (waits while the map is locked).
    void Clear();
    CustomRegister *Find(uint32_t aAddress);
    std::vector<CustomRegister *> All();
    // A sink about to be destroyed leaves every register.
    void ForgetSink(IZuRegisterEventSink *aSink);

private:
    std::mutex mLock;
    std::condition_variable mFree;
    bool mLocked = false;
    bool mRunning = false;
    std::vector<std::unique_ptr<CustomRegister>> mRegisters;
};

// Lent to OnCreateCustomRegisters and each source's CreateRegisters.
class RegisterFactory : public IZuRegisterFactory
{
public:
    RegisterFactory(RegisterCatalog &aCatalog, RegisterSpace &aSpace) : mCatalog(aCatalog), mSpace(aSpace) {}

    ZuResult AddRegister(const ZuString &aName, uint32_t aAddress, uint32_t aLength, ZuGenAccessMode aAccessMode,
                         IZuRegisterEventSink *aRegisterEventSink = 0, void *aContext = 0) override;
    ZuResult AddRegisterAuto(const ZuString &aName, uint32_t &aAssignedAddress, uint32_t aLength,
                             ZuGenAccessMode aAccessMode, IZuRegisterEventSink *aRegisterEventSink,
                             void *aContext = 0) override;
    ZuResult AddByteArray(const ZuString &aName, uint32_t aAddress, uint32_t aLength, ZuGenAccessMode aAccessMode,
                          IZuRegisterEventSink *aRegisterEventSink = 0, void *aContext = 0) override;

    // What keeps the sink (0) or context (1) of the next Add* alive (bindings).
    void HoldNext(int aWhich, std::shared_ptr<void> aHold);

    // The device's own sources reach it through what it lends here.
    void Lend(Declarations *aLent) { mLent = aLent; }
    Declarations *Lent() const { return mLent; }

private:
    RegisterCatalog &mCatalog;
    RegisterSpace &mSpace;
    Declarations *mLent = nullptr;
    std::shared_ptr<void> mSinkHold, mContextHold;
};

// Registers at or past this address belong to scripts.
constexpr uint32_t kCustomRegisterBase = 0x00020000;

} // namespace softdevice
} // namespace tarn

#endif
