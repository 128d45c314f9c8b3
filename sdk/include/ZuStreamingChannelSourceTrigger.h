#ifndef ZU_STREAMING_CHANNEL_SOURCE_TRIGGER_H
#define ZU_STREAMING_CHANNEL_SOURCE_TRIGGER_H

#include "IZuSWStreamingChannelSource.h"
#include "IZuRegisterEventSink.h"
#include "IZuTriggerSelector.h"
#include "IZuTriggerCallback.h"
#include "ZuTriggerTypes.h"

/// A trigger-aware software-buffer channel source.
///
/// It holds one trigger selector per TriggerSelectorEnum entry the
/// application adds, one callback per selector and a list of trigger
/// sources. When the device starts it creates its trigger registers at the
/// register base address and the features TriggerSelector, TriggerMode,
/// TriggerSource and TriggerSoftware; while streaming, before each buffer
/// is queued, it waits until every selector whose trigger mode is on has
/// fired. The image side (sizes, pixel types, chunks, the buffer queue) is
/// the subclass's to supply.
class ZU_API ZuStreamingChannelSourceTrigger : public IZuSWStreamingChannelSource, public IZuRegisterEventSink
{
public:
    /// A selector entry: the selector's state machine.
    typedef IZuTriggerSelector *SelectorEntry;

    /// Construct a trigger-capable streaming source for a channel.
    /// @param mChannel Streaming channel index.
    /// @param aRegisterBaseAddress Base address for trigger-related registers.
    ZuStreamingChannelSourceTrigger(uint32_t mChannel, uint32_t aRegisterBaseAddress);
    virtual ~ZuStreamingChannelSourceTrigger();

    /// Add or replace a trigger selector entry.
    /// The source uses the selector until it is replaced or the source ends.
    /// @param aIndex Selector identifier.
    /// @param aSelector Selector instance to add.
    void AddSelector(TriggerSelectorEnum aIndex, SelectorEntry aSelector);
    /// Bind in an implementation of the IZuTriggerCallback class
    /// It is called on the streaming thread when the selector has fired, before the frame it starts is queued.
    /// @param aIndex Which Trigger selector should this callback be for
    /// @param aCallback Class which implements the IZuTriggerCallback interface
    void AddSelectorTriggerCallback(TriggerSelectorEnum aIndex, IZuTriggerCallback *aCallback);
    /// Register a trigger source entry.
    /// @param aIndex Source index (must be unique across sources).
    /// @param aName Display name for the source.
    void AddSource(uint32_t aIndex, const ZuString &aName);
    /// Get trigger mode for the current selector.
    /// @return True if trigger mode is ON; otherwise false.
    bool GetMode() const;
    /// Get active trigger source index.
    /// @return Trigger source index.
    uint32_t GetSource() const;

    /// IZuStreamingChannelSource interface implementation.
    /// Arms the selectors whose trigger mode is on.
    virtual void OnStreamingStart();
    /// Notification that streaming stops on this channel.
    /// Stops every selector, releasing a waiting acquisition loop.
    virtual void OnStreamingStop();
    /// Create trigger-related registers.
    /// @param aRegisterMap The device's register map.
    /// @param aFactory Register factory, valid during the call.
    virtual void CreateRegisters(IZuRegisterMap *aRegisterMap, IZuRegisterFactory *aFactory);
    /// Create GenApi features for trigger control.
    /// @param aRegisterMap The device's register map.
    /// @param aFactory GenApi factory, valid during the call.
    virtual void CreateGenApiFeatures(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory);
    /// Uses every buffer the source handed out.
    /// @param aNumBuffer Set to 0.
    /// @return ZU_NOT_IMPLEMENTED.
    virtual ZuResult GetTxNumBuffersToUse(uint32_t &aNumBuffer);
    /// Pre-queue callback; may block until trigger conditions are satisfied.
    /// It waits at most a few tens of milliseconds, so that the device can
    /// hear a stop, and not at all while a frame it let through is yet to
    /// be retrieved.
    /// @return True to proceed with queuing; false to skip.
    virtual bool PreQueueBufferProc();
    /// Post-retrieve callback after a buffer is retrieved.
    /// Until it runs, the trigger wait does not wait again: the device
    /// retrieves the frame it let through first. An override calls it.
    virtual void PostRetrieveBufferProc();
    /// Pre-read notification for trigger-related registers.
    /// @param aRegister The register.
    virtual ZuResult PreRead(IZuRegister *aRegister);
    /// Pre-write notification for trigger-related registers.
    /// @param aRegister The register.
    virtual ZuResult PreWrite(IZuRegister *aRegister);
    /// Persist trigger-related registers for user sets.
    /// @param aRegister The register.
    /// @param aStore Where the user set keeps it.
    virtual ZuResult Persist(IZuRegister *aRegister, IZuRegisterStore *aStore);
    /// Fire a software trigger for the current selector when source is Software.
    virtual void FireTrigger() const;

protected:
    /// Build TriggerSelector GenApi feature.
    /// @param aRegisterMap The device's register map.
    /// @param aFactory GenApi factory, valid during the call.
    virtual void CreateTriggerSelector(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory);
    /// Build TriggerMode GenApi feature.
    /// @param aRegisterMap The device's register map.
    /// @param aFactory GenApi factory, valid during the call.
    virtual void CreateTriggerMode(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory);
    /// Build TriggerSource GenApi feature.
    /// @param aRegisterMap The device's register map.
    /// @param aFactory GenApi factory, valid during the call.
    virtual void CreateTriggerSource(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory);
    /// Build TriggerSoftware GenApi command.
    /// @param aRegisterMap The device's register map.
    /// @param aFactory GenApi factory, valid during the call.
    virtual void CreateTriggerSoftware(IZuRegisterMap *aRegisterMap, IZuGenApiFactory *aFactory);

#ifndef SWIG
public:
    ZuStreamingChannelSourceTrigger(const ZuStreamingChannelSourceTrigger &) = delete;
    ZuStreamingChannelSourceTrigger &operator=(const ZuStreamingChannelSourceTrigger &) = delete;

    struct Impl;

private:
    Impl *mImpl;
#endif
};

#endif
