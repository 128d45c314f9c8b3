#ifndef TARN_TEST_DEVICE_FIXTURE_H
#define TARN_TEST_DEVICE_FIXTURE_H

// A GigE Vision device in this process for the controller's tests: the GVCP
// server over 64 KiB of registers from 0x10000, serving the test
// description (tests/data/gev_device.xml) on its own loopback address.

#include "gvcpserver/udp_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

namespace fixture {

using namespace tarn::gvcp;
using namespace tarn::gvcpserver;

inline bool InNetns()
{
    return std::getenv("TARN_IN_NETNS") != nullptr;
}

#define NEEDS_NETNS() \
    if (!fixture::InNetns()) GTEST_SKIP() << "opens sockets: run under tools/netns (make test)"

inline Bytes ReadFile(const std::string &aPath)
{
    std::ifstream in(aPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string DataPath(const char *aName)
{
    return std::string(TARN_TEST_DATA) + "/" + aName;
}

class Ram : public DeviceMemory
{
public:
    static constexpr uint32_t kBase = 0x10000;
    std::atomic<uint32_t> slowMs{0};
    std::atomic<uint32_t> slowAddress{0x10100};

    Status Read(uint32_t address, uint8_t *data, uint32_t count) override
    {
        if (!Fits(address, count)) return STATUS_INVALID_ADDRESS;
        std::lock_guard<std::mutex> lock(mLock);
        std::memcpy(data, mBytes + (address - kBase), count);
        return STATUS_SUCCESS;
    }
    Status Write(uint32_t address, const uint8_t *data, uint32_t count) override
    {
        if (!Fits(address, count)) return STATUS_INVALID_ADDRESS;
        if (WriteTime(address, count)) {
            // Slow, unless a test lets it end early.
            std::unique_lock<std::mutex> held(mSlowLock);
            mSlowEnd.wait_for(held, std::chrono::milliseconds(slowMs), [this] { return mHurried; });
        }
        std::lock_guard<std::mutex> lock(mLock);
        std::memcpy(mBytes + (address - kBase), data, count);
        return STATUS_SUCCESS;
    }
    uint32_t WriteTime(uint32_t address, uint32_t count) override
    {
        return slowMs && address <= slowAddress && slowAddress - address < count ? uint32_t(slowMs) : 0;
    }
    // Slow writes in progress, and every later one, end at once.
    void Hurry()
    {
        std::lock_guard<std::mutex> held(mSlowLock);
        mHurried = true;
        mSlowEnd.notify_all();
    }
    uint32_t Word(uint32_t address)
    {
        uint8_t b[4];
        Read(address, b, 4);
        return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    }
    void SetWord(uint32_t address, uint32_t v)
    {
        uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        std::lock_guard<std::mutex> lock(mLock);
        std::memcpy(mBytes + (address - kBase), b, 4);
    }

private:
    static bool Fits(uint32_t address, uint32_t count)
    {
        return address >= kBase && count <= sizeof mBytes && address - kBase <= sizeof mBytes - count;
    }
    std::mutex mLock;
    std::mutex mSlowLock;
    std::condition_variable mSlowEnd;
    bool mHurried = false;
    uint8_t mBytes[0x10000] = {};
};

struct TestDevice {
    Ram ram;
    ServerConfig config;
    std::unique_ptr<UdpServer> udp;
    std::string address;

    explicit TestDevice(const std::string &aAddress, uint8_t aLast = 1, std::function<void(ServerConfig &)> aTune = nullptr)
        : address(aAddress)
    {
        ServerConfig &c = config;
        c.identity.mac = {0x02, 0x00, 0x00, 0x00, 0x07, aLast};
        c.identity.manufacturerName = "tarn";
        c.identity.modelName = "Responder";
        c.identity.serialNumber = "D" + std::to_string(aLast);
        c.identity.userDefinedName = "dev" + std::to_string(aLast);
        c.description = ReadFile(DataPath("gev_device.xml"));
        c.descriptionName = "gev_device.xml";
        if (aTune) aTune(c);
        ram.SetWord(0x10000, 640);
        ram.SetWord(0x10004, 480);
        ram.SetWord(0x10008, 0x01080001);
        Start();
    }
    // The device as it boots: the same memory, nobody in control.
    void Restart()
    {
        udp.reset();
        Start();
    }
    void Start()
    {
        udp = std::make_unique<UdpServer>(config, &ram);
        std::string error;
        EXPECT_TRUE(udp->Start(address, kPort, &error)) << error;
    }
    ~TestDevice()
    {
        ram.Hurry();
        udp.reset();
    }
    Server &GetServer() { return udp->GetServer(); }
};

// Waits for a condition another thread makes true; false after the bound.
class Flag
{
public:
    void Set()
    {
        std::lock_guard<std::mutex> lock(mLock);
        mSet = true;
        mWake.notify_all();
    }
    bool Wait(int aMs = 10000)
    {
        std::unique_lock<std::mutex> lock(mLock);
        return mWake.wait_for(lock, std::chrono::milliseconds(aMs), [this] { return mSet; });
    }

private:
    std::mutex mLock;
    std::condition_variable mWake;
    bool mSet = false;
};

} // namespace fixture

#endif
