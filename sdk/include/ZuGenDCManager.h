#ifndef ZU_GENDC_MANAGER_H
#define ZU_GENDC_MANAGER_H

#include "ZuGenDC.h"

#include <memory>

/// Builds a GenDC container in memory of its own, for transmission.
class ZU_API ZuGenDCManager : public IZuGenDCManager
{
public:
    /// Starts with an empty container.
    ZuGenDCManager();
    virtual ~ZuGenDCManager();

    /// Lays the container out anew, so that each part's data area has the
    /// size its header's DataSize asks for, and returns the bytes of
    /// descriptor, flow table and data.
    virtual uint64_t GetTotalPayloadSize() const;
    virtual IZuGenericDataContainer *GetGenDC() const;
    virtual void ResetContainer();

    /// Returns the container's bytes (GetTotalPayloadSize() of them), or null.
    const uint8_t *GetPayload() const;

private:
    ZuGenDCManager(const ZuGenDCManager &) = delete;
    ZuGenDCManager &operator=(const ZuGenDCManager &) = delete;
    std::unique_ptr<IZuGenericDataContainer> mContainer;
};

#endif
