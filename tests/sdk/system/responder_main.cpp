// Test-only device: the GVCP server over a block of memory, serving a
// description, until its standard input closes.
//   tarn_gev_responder ADDRESS [key=value ...]
// keys: mac, manufacturer, model, version, info, serial, name, class, mask,
// port, xml (a description file to serve; zipped when it ends in .zip),
// url (the first URL register as given), heartbeat (ms), slow
// (ADDRESS:MS, hexadecimal address: writes there take that long), firmware
// (STATUS: a firmware window that takes whatever it is given, holds at most
// Capacity bytes and reports STATUS, as a device that fails its own
// install would).
// Lines on standard input: "event ID [HEXDATA]" sends an event (with data:
// EVENTDATA), "mute" stops answering, "answer" answers again, "stats"
// prints the counters; each is confirmed with a line "ok ...".
// The memory: 64 KiB of read-write registers from 0x10000.

#include "gev/bridge.h"
#include "gvcpserver/udp_server.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tarn::gvcp;
using namespace tarn::gvcpserver;

namespace fw = tarn::bridge::firmware;

class Memory : public DeviceMemory
{
public:
    static constexpr uint32_t kBase = 0x10000;
    static constexpr uint32_t kFirmwareCapacity = 2 * fw::WindowSize;
    uint32_t slowAddress = 0;
    uint32_t slowMs = 0;

    Status Read(uint32_t address, uint8_t *data, uint32_t count) override
    {
        uint8_t *at = Find(address, count);
        if (!at) return STATUS_INVALID_ADDRESS;
        std::memcpy(data, at, count);
        return STATUS_SUCCESS;
    }
    Status Write(uint32_t address, const uint8_t *data, uint32_t count) override
    {
        uint8_t *at = Find(address, count);
        if (!at) return STATUS_INVALID_ADDRESS;
        if (slowMs && address <= slowAddress && slowAddress - address < count)
            std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
        std::memcpy(at, data, count);
        return STATUS_SUCCESS;
    }
    uint32_t WriteTime(uint32_t address, uint32_t count) override
    {
        return slowMs && address <= slowAddress && slowAddress - address < count ? slowMs : 0;
    }
    // Plain memory where the firmware window lies, so that nothing the
    // controller writes changes what it reads back.
    void ServeFirmware(uint32_t aStatus)
    {
        mFirmware.assign(fw::Window + fw::WindowSize, 0);
        Put(fw::Magic, fw::MagicValue);
        Put(fw::Capacity, kFirmwareCapacity);
        Put(fw::Status, aStatus);
    }

private:
    uint8_t *Find(uint32_t address, uint32_t count)
    {
        if (address >= kBase && count <= sizeof mBytes && address - kBase <= sizeof mBytes - count)
            return mBytes + (address - kBase);
        if (address >= fw::Base && count <= mFirmware.size() && address - fw::Base <= mFirmware.size() - count)
            return mFirmware.data() + (address - fw::Base);
        return nullptr;
    }
    void Put(uint32_t aOffset, uint32_t aValue)
    {
        for (int k = 0; k < 4; ++k) mFirmware[aOffset + k] = uint8_t(aValue >> (24 - 8 * k));
    }
    uint8_t mBytes[0x10000] = {};
    std::vector<uint8_t> mFirmware;
};

int fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    return 2;
}

Bytes fromHex(const std::string &text)
{
    Bytes out;
    for (size_t k = 0; k + 1 < text.size(); k += 2) out.push_back(uint8_t(std::stoul(text.substr(k, 2), nullptr, 16)));
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ADDRESS [key=value ...]\n", argv[0]);
        return 2;
    }
    ServerConfig config;
    DeviceIdentity &id = config.identity;
    id.manufacturerName = "tarn";
    id.modelName = "Responder";
    id.deviceVersion = "1.0";
    id.serialNumber = "0001";
    id.mac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    Memory memory;
    uint16_t port = kPort;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        size_t eq = arg.find('=');
        if (eq == std::string::npos) return fail("bad argument");
        std::string key = arg.substr(0, eq), value = arg.substr(eq + 1);
        if (key == "mac") {
            if (!parseMac(value, id.mac)) return fail("bad mac");
        } else if (key == "manufacturer") id.manufacturerName = value;
        else if (key == "model") id.modelName = value;
        else if (key == "version") id.deviceVersion = value;
        else if (key == "info") id.manufacturerInfo = value;
        else if (key == "serial") id.serialNumber = value;
        else if (key == "name") id.userDefinedName = value;
        else if (key == "class") id.deviceMode = (id.deviceMode & ~(DEVICEMODE_CLASS_MASK << DEVICEMODE_CLASS_SHIFT)) |
                                                 ((uint32_t(std::atoi(value.c_str())) & DEVICEMODE_CLASS_MASK) << DEVICEMODE_CLASS_SHIFT);
        else if (key == "mask") {
            if (!parseIPv4(value, id.subnetMask)) return fail("bad mask");
        } else if (key == "port") port = uint16_t(std::atoi(value.c_str()));
        else if (key == "xml") {
            std::ifstream in(value, std::ios::binary);
            if (!in) return fail("cannot read the description");
            config.description.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            config.descriptionName = value.substr(value.find_last_of('/') + 1);
        } else if (key == "url") config.firstUrl = value;
        else if (key == "heartbeat") config.heartbeatTimeoutMs = uint32_t(std::atoi(value.c_str()));
        else if (key == "slow") {
            size_t colon = value.find(':');
            if (colon == std::string::npos) return fail("bad slow");
            memory.slowAddress = uint32_t(std::stoul(value.substr(0, colon), nullptr, 16));
            memory.slowMs = uint32_t(std::atoi(value.c_str() + colon + 1));
        } else if (key == "firmware") memory.ServeFirmware(uint32_t(std::stoul(value, nullptr, 0)));
        else return fail("unknown key");
    }
    UdpServer device(config, &memory);
    std::string error;
    if (!device.Start(argv[1], port, &error)) {
        std::fprintf(stderr, "cannot start: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready %u\n", unsigned(device.Port()));
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "event") {
            unsigned eventId = 0;
            std::string data;
            words >> std::hex >> eventId >> data;
            Event e;
            e.eventId = uint16_t(eventId);
            e.timestamp = device.GetServer().Timestamp(Clock::now());
            Bytes bytes = fromHex(data);
            bool queued = device.PostEvent(e, data.empty() ? nullptr : &bytes);
            std::printf("ok event %s\n", queued ? "queued" : "dropped");
        } else if (verb == "mute") {
            device.Stop();
            std::printf("ok mute\n");
        } else if (verb == "answer") {
            bool started = device.Start(argv[1], port, &error);
            std::printf("ok answer %s\n", started ? "started" : error.c_str());
        } else if (verb == "stats") {
            ServerStats s = device.GetServer().Stats();
            std::printf("ok stats sessions=%llu closed=%llu heartbeat_failed=%llu events=%llu eventdatas=%llu "
                        "event_retries=%llu retries=%llu pending=%llu actions=%llu\n",
                        (unsigned long long)s.sessionsOpened, (unsigned long long)s.sessionsClosed,
                        (unsigned long long)s.heartbeatFailedCount, (unsigned long long)s.eventsIssued,
                        (unsigned long long)s.eventDatasIssued, (unsigned long long)s.eventRetriesIssued,
                        (unsigned long long)s.retriesReceived, (unsigned long long)s.pendingAcksIssued,
                        (unsigned long long)s.actionsFired);
        } else {
            std::printf("ok unknown\n");
        }
        std::fflush(stdout);
    }
    device.Stop();
    return 0;
}
