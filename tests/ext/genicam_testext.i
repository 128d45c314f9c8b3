/* Test-only module: what the SDK offers in C++ but Python may not reach
 * (parameter arrays loaded from a description over an in-memory port, an
 * event sink, raw byte memory), so that the bindings can be tested.
 * Never installed, never part of the three modules. */
%module tarn_genicam_testext

/* The runtime as the modules have it (warnings as errors included). */
%include "core/typemaps/runtime_fixes.i"
%include "core/typemaps/objects.i"
%include "core/typemaps/lifetime.i"

%{
#include "ZuGenParameterArray.h"
#include "tarn/genicam/Parameters.h"
#include "tests/sdk/genicam/fixture.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

// Register memory that can take its time, as a device on the network does.
class DelayingPort : public ZU_GENAPI_NS::MemoryPort
{
public:
    using MemoryPort::MemoryPort;
    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override
    {
        int lDelay = mDelayMs;
        if (lDelay > 0) {
            mReading = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(lDelay));
            mReading = false;
        }
        return MemoryPort::Read(aAddress, aData, aLength);
    }
    std::atomic<int> mDelayMs{0};
    std::atomic<bool> mReading{false};
};

// An array that owns the memory behind its port.
class TestArray : public ZuGenParameterArray
{
public:
    explicit TestArray(size_t aSize) : mPort(aSize) {}
    DelayingPort mPort;
};

} // namespace
%}

%include <stdint.i>
%include <carrays.i>
%include <std_string.i>

/* Only the names: the classes are the base module's. */
class ZuGenParameterArray;
class ZuGenParameter;
class ZuGenEventSink
{
public:
    virtual void OnParameterUpdate(ZuGenParameter *aParameter) = 0;
    virtual ~ZuGenEventSink();
};

%array_functions(unsigned char, bytes)

%newobject LoadParameterArray;
%newobject LoadCamera;

%inline %{
/* Loads a description over a zero-filled register block of the given size;
 * None when loading fails (the error text is in LastError()). */
ZuGenParameterArray *LoadParameterArray(const std::string &aXml, uint32_t aMemorySize)
{
    TestArray *lArray = new TestArray(aMemorySize);
    ZuResult lR = tarn::LoadDescription(*lArray, aXml.data(), aXml.size(), &lArray->mPort);
    if (!lR.IsOK()) {
        delete lArray;
        return nullptr;
    }
    return lArray;
}

/* The description the native tests use, over 4 KiB of registers. */
ZuGenParameterArray *LoadCamera() { return LoadParameterArray(kCameraXml, 4096); }

std::string CameraXml() { return kCameraXml; }

/* The error text of loading a description, empty when it loads. */
std::string LoadError(const std::string &aXml)
{
    ZuGenParameterArray lArray;
    ZuResult lR = tarn::LoadDescription(lArray, aXml.data(), aXml.size(), nullptr);
    return lR.IsOK() ? std::string() : std::string(lR.GetDescription().GetAscii());
}

/* Register memory of an array made here. */
int PeekByte(ZuGenParameterArray *aArray, uint32_t aAddress)
{
    TestArray *lA = dynamic_cast<TestArray *>(aArray);
    if (!lA || aAddress >= lA->mPort.Bytes().size()) return -1;
    return lA->mPort.Bytes()[aAddress];
}

/* Makes every read of the array's register memory take aMilliseconds. */
bool SetReadDelay(ZuGenParameterArray *aArray, int aMilliseconds)
{
    TestArray *lA = dynamic_cast<TestArray *>(aArray);
    if (!lA) return false;
    lA->mPort.mDelayMs = aMilliseconds;
    return true;
}

/* Whether a delayed read of the array's register memory is in progress. */
bool IsReading(ZuGenParameterArray *aArray)
{
    TestArray *lA = dynamic_cast<TestArray *>(aArray);
    return lA && lA->mPort.mReading;
}

bool PokeByte(ZuGenParameterArray *aArray, uint32_t aAddress, uint8_t aValue)
{
    TestArray *lA = dynamic_cast<TestArray *>(aArray);
    if (!lA || aAddress >= lA->mPort.Bytes().size()) return false;
    lA->mPort.Bytes()[aAddress] = aValue;
    return true;
}

/* A sink that counts the updates it is told of. */
class CountingSink : public ZuGenEventSink
{
public:
    CountingSink() : Count(0), Last(nullptr) {}
    void OnParameterUpdate(ZuGenParameter *aParameter) override
    {
        ++Count;
        Last = aParameter;
    }
    int Count;
    ZuGenParameter *Last;
};
%}
