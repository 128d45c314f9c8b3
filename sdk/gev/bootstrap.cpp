#include "gev/bootstrap.h"

#include <cstring>

namespace tarn {
namespace gvcp {

Bootstrap::Bootstrap(const DeviceIdentity &identity) : mImage(kSize, 0)
{
    Bytes head = identity.encode();
    std::memcpy(mImage.data(), head.data(), head.size());
    put32(reg::NumberOfNetworkInterfaces, 1);
    put32(reg::PersistentIPAddress, identity.ip);
    put32(reg::PersistentSubnetMask, identity.subnetMask);
    put32(reg::PersistentDefaultGateway, identity.gateway);
    put32(reg::NumberOfActiveLinks, 1);
    put32(reg::GVCPCapability, GVCPCAP_USER_DEFINED_NAME | GVCPCAP_SERIAL_NUMBER);
    put32(reg::HeartbeatTimeout, 3000);
    put32(reg::PendingTimeout, 500);
}

void Bootstrap::put32(uint32_t address, uint32_t value)
{
    mImage[address] = uint8_t(value >> 24);
    mImage[address + 1] = uint8_t(value >> 16);
    mImage[address + 2] = uint8_t(value >> 8);
    mImage[address + 3] = uint8_t(value);
}

uint16_t Bootstrap::readRegister(uint32_t address, uint32_t &value) const
{
    if (address % 4) return STATUS_BAD_ALIGNMENT;
    if (address >= kSize) return STATUS_INVALID_ADDRESS;
    value = (uint32_t(mImage[address]) << 24) | (uint32_t(mImage[address + 1]) << 16) |
            (uint32_t(mImage[address + 2]) << 8) | uint32_t(mImage[address + 3]);
    return STATUS_SUCCESS;
}

uint16_t Bootstrap::readMemory(uint32_t address, uint32_t count, Bytes &data) const
{
    if (address % 4 || count % 4) return STATUS_BAD_ALIGNMENT;
    if (count == 0 || count > kMaxPayload - 4) return STATUS_INVALID_PARAMETER;
    if (address >= kSize || count > kSize - address) return STATUS_INVALID_ADDRESS;
    data.assign(mImage.begin() + address, mImage.begin() + address + count);
    return STATUS_SUCCESS;
}

} // namespace gvcp
} // namespace tarn
