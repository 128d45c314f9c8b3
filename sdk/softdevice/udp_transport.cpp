#include "softdevice/transport.h"

#include "gvcpserver/udp_server.h"
#include "softdevice/gvsp_sender.h"
#include "softdevice/model/guard.h"

namespace tarn {
namespace softdevice {

namespace {

// A write that reaches a source or sink (Python) is announced with a
// PENDING_ACK: it may take longer than a controller waits.
constexpr uint32_t kSlowWriteMs = 1000;

// The device model over the shared GVCP server on UDP: the server keeps the
// bootstrap registers, the session and the messaging channel; the model its
// own registers; the senders the streams.
class UdpTransport : public Transport,
                     public gvcp::DeviceModel,
                     public gvcp::ServerListener,
                     public ControlLink
{
public:
    ~UdpTransport() override { stop(); }

    bool start(softdevice::DeviceModel &aModel, std::string &aError) override
    {
        mModel = &aModel;
        const NetConfig &net = aModel.net();
        gvcp::ServerConfig config;
        config.identity.mac = net.mac;
        config.identity.ip = net.ip;
        config.identity.subnetMask = net.mask;
        config.identity.gateway = net.gateway;
        applyTexts(config.identity, aModel.identityTexts());
        const std::string xml = aModel.description();
        config.description.assign(xml.begin(), xml.end());
        config.descriptionName = "tarn_softcamera.xml";
        config.streamChannels = uint32_t(aModel.channelCount());
        config.actionSignals = 1;
        mServer = std::make_unique<gvcp::UdpServer>(config, this, this);
        for (size_t i = 0; i < aModel.channelCount(); ++i) {
            auto sender = std::make_unique<GvspSender>(aModel.channel(i).config());
            if (!sender->open(net.ip, aError)) return false;
            mServer->server().setStreamSourcePort(uint32_t(i), sender->port());
            aModel.setSender(i, sender.get());
            mSenders.push_back(std::move(sender));
        }
        if (!mServer->start(gvcp::formatIPv4(net.ip), gvcp::kPort, &aError)) return false;
        aModel.setLink(this);
        aModel.controlChannelStarted(mServer->port());
        return true;
    }

    void stop() override
    {
        if (!mModel) return;
        if (mServer) mServer->stop();
        // No controller any more: its streams end before their senders go.
        mModel->controlChannelStopped();
        mModel->setLink(nullptr);
        for (size_t i = 0; i < mSenders.size(); ++i) mModel->setSender(i, nullptr);
        mSenders.clear();
        mServer.reset();
        mModel = nullptr;
    }

private:
    static void applyTexts(gvcp::DeviceIdentity &aIdentity, const IdentityTexts &aTexts)
    {
        aIdentity.manufacturerName = aTexts.manufacturerName;
        aIdentity.modelName = aTexts.modelName;
        aIdentity.deviceVersion = aTexts.deviceVersion;
        aIdentity.manufacturerInfo = aTexts.manufacturerInfo;
        aIdentity.serialNumber = aTexts.serialNumber;
    }

    // ---- gvcp::DeviceModel: the registers beyond the bootstrap block.
    gvcp::Status read(uint32_t aAddress, uint8_t *aData, uint32_t aCount) override
    {
        enterDeviceThread(mModel);
        return mModel->readMemory(aAddress, aCount, aData);
    }
    gvcp::Status write(uint32_t aAddress, const uint8_t *aData, uint32_t aCount) override
    {
        enterDeviceThread(mModel);
        return mModel->writeMemory(aAddress, aData, aCount);
    }
    uint32_t writeTime(uint32_t aAddress, uint32_t) override { return mModel->isSlow(aAddress) ? kSlowWriteMs : 0; }

    // ---- gvcp::ServerListener: what the controller did.
    void onControlTaken(const net::Endpoint &aController, gvcp::Access aAccess) override
    {
        enterDeviceThread(mModel);
        mModel->controlTaken(aController.ip, aController.port,
                             aAccess == gvcp::Access::Exclusive ? ZuAccessExclusive : ZuAccessControl);
    }
    void onControlReleased(bool aHeartbeatExpired) override
    {
        enterDeviceThread(mModel);
        mModel->controlReleased(aHeartbeatExpired);
    }
    void onNetworkReset(uint32_t aIp, uint32_t aMask, uint32_t aGateway) override
    {
        enterDeviceThread(mModel);
        mModel->networkReset(aIp, aMask, aGateway);
    }
    void onStreamChannel(uint32_t aChannel, const gvcp::StreamChannel &aStream) override
    {
        enterDeviceThread(mModel);
        mModel->streamChannelChanged(aChannel, aStream.destination.ip, aStream.destination.port, aStream.packetSize,
                                     aStream.packetDelay);
    }
    void onAction(uint32_t aSignal, std::optional<uint64_t> aTime) override
    {
        enterDeviceThread(mModel);
        mModel->action(aSignal, aTime.value_or(0));
    }
    void onPacketResend(const gvcp::PacketResendCmd &aRequest) override
    {
        if (aRequest.streamChannel < mSenders.size()) mSenders[aRequest.streamChannel]->resend(aRequest);
    }

    // ---- ControlLink: what the model hands the server.
    void publishIdentity(const IdentityTexts &aTexts) override
    {
        gvcp::DeviceIdentity identity;
        applyTexts(identity, aTexts);
        mServer->server().setIdentityTexts(identity);
    }
    void publishDescription(const std::string &aXml) override
    {
        mServer->server().setDescription(gvcp::Bytes(aXml.begin(), aXml.end()));
    }
    bool postEvent(uint16_t aEventId, uint64_t aBlockId, uint16_t aChannel, const uint8_t *aData,
                   uint32_t aSize) override
    {
        gvcp::Event event;
        event.eventId = aEventId;
        event.streamChannel = aChannel;
        event.blockId = aBlockId & 0xFFFF;
        event.timestamp = timestamp();
        if (!aData) return mServer->postEvent(event);
        const gvcp::Bytes data(aData, aData + aSize);
        return mServer->postEvent(event, &data);
    }
    bool eventsOpen() const override { return mServer->server().messageChannelOpen(); }
    uint64_t timestamp() const override { return mServer->server().timestamp(gvcp::Clock::now()); }
    void readStatistics(uint64_t (&aCounts)[Statistics::kCount]) const override
    {
        const gvcp::ServerStats s = mServer->server().stats();
        const uint64_t values[Statistics::kCount] = {
            s.readMemsReceived, s.writeMemsReceived, s.readRegsReceived, s.writeRegsReceived, s.discoveriesReceived,
            s.actionCommandsReceived, s.forceIpsReceived, s.packetResendRequestsReceived, s.pendingAcksIssued,
            s.retriesReceived, s.retriesReceivedMax, s.eventsIssued, s.eventDatasIssued, s.eventRetriesIssued,
            s.eventRetriesIssuedMax, s.sessionsOpened, s.sessionsClosed, s.heartbeatFailedCount, s.gvspTestPacketsIssued};
        for (int i = 0; i < Statistics::kCount; ++i) aCounts[i] = values[i];
    }
    void resetStatistics() override { mServer->server().resetStats(); }

    softdevice::DeviceModel *mModel = nullptr;
    std::unique_ptr<gvcp::UdpServer> mServer;
    std::vector<std::unique_ptr<GvspSender>> mSenders;
};

} // namespace

std::unique_ptr<Transport> makeUdpTransport()
{
    return std::make_unique<UdpTransport>();
}

} // namespace softdevice
} // namespace tarn
