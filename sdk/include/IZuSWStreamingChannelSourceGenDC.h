#ifndef IZU_SW_STREAMING_CHANNEL_SOURCE_GENDC_H
#define IZU_SW_STREAMING_CHANNEL_SOURCE_GENDC_H

#include "IZuSWStreamingChannelSource.h"

class IZuGenDCManager;

/// A software-buffer channel source whose buffers carry GenDC containers.
///
/// While the device starts it assigns the source its GenDC manager, then
/// has the source build its container (components and parts) through the
/// manager before it asks for any buffer: each buffer the source hands
/// out is reset to ZuPayloadTypeGenDC and attached to the manager, which
/// sizes it for the container.
class ZU_API IZuSWStreamingChannelSourceGenDC : public IZuSWStreamingChannelSource
{
public:
    virtual ~IZuSWStreamingChannelSourceGenDC() {}

    /// Assigns the GenDC manager to the streaming channel source.
    /// The source keeps it; the device owns it and keeps it until it stops.
    /// @param aManager The channel's GenDC manager.
    virtual void AssignGenDCManager(IZuGenDCManager *aManager) = 0;
    /// Sets up the GenDC container before device initialization.
    /// The source builds its container's components and parts through the
    /// manager's container here, before any buffer is attached to it.
    virtual void SetupGenDCContainer() = 0;
    /// Gets the current GenDC streaming mode state.
    /// @return True while GenDC streaming mode is enabled.
    virtual bool GetGenDCStreamingMode() const = 0;
    /// Enables or disables GenDC streaming mode.
    /// @param aEnabled True to enable GenDC streaming mode.
    /// @return ZU_OK when the mode was set; any other code leaves it unchanged.
    virtual ZuResult SetGenDCStreamingMode(bool aEnabled) = 0;
};

#endif
