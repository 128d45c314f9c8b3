// Test-only device: answers GigE Vision discovery and bootstrap reads for
// the identity given on the command line until its standard input closes.
//   tarn_gev_responder ADDRESS [key=value ...]
// keys: mac, manufacturer, model, version, info, serial, name, class, mask, port

#include "gvcpserver/udp_responder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    using namespace tarn::gvcp;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ADDRESS [key=value ...]\n", argv[0]);
        return 2;
    }
    DeviceIdentity id;
    id.manufacturerName = "tarn";
    id.modelName = "Responder";
    id.deviceVersion = "1.0";
    id.serialNumber = "0001";
    id.mac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    uint16_t port = kPort;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        size_t eq = arg.find('=');
        if (eq == std::string::npos) {
            std::fprintf(stderr, "bad argument: %s\n", argv[i]);
            return 2;
        }
        std::string key = arg.substr(0, eq), value = arg.substr(eq + 1);
        if (key == "mac") {
            if (!parseMac(value, id.mac)) return std::fprintf(stderr, "bad mac\n"), 2;
        } else if (key == "manufacturer") id.manufacturerName = value;
        else if (key == "model") id.modelName = value;
        else if (key == "version") id.deviceVersion = value;
        else if (key == "info") id.manufacturerInfo = value;
        else if (key == "serial") id.serialNumber = value;
        else if (key == "name") id.userDefinedName = value;
        else if (key == "class") id.deviceMode = (id.deviceMode & ~(DEVICEMODE_CLASS_MASK << DEVICEMODE_CLASS_SHIFT)) |
                                                 ((uint32_t(std::atoi(value.c_str())) & DEVICEMODE_CLASS_MASK) << DEVICEMODE_CLASS_SHIFT);
        else if (key == "mask") {
            if (!parseIPv4(value, id.subnetMask)) return std::fprintf(stderr, "bad mask\n"), 2;
        } else if (key == "port") port = uint16_t(std::atoi(value.c_str()));
        else return std::fprintf(stderr, "unknown key: %s\n", key.c_str()), 2;
    }
    UdpResponder responder(id);
    std::string error;
    if (!responder.start(argv[1], port, &error)) {
        std::fprintf(stderr, "cannot start: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready %u\n", unsigned(responder.port()));
    std::fflush(stdout);
    char buf[64];
    while (::read(0, buf, sizeof buf) > 0) {
    }
    responder.stop();
    return 0;
}
