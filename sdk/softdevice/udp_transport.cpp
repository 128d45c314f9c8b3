#include "softdevice/transport.h"

#include "gvcpserver/udp_server.h"
#include "softdevice/gvcp_adapter.h"
#include "softdevice/gvsp_sender.h"
#include "softdevice/tcp_streams.h"
#include "softdevice/rtp_sender.h"

namespace tarn {
namespace softdevice {

namespace {

// The device model over the shared GVCP server on UDP: the server keeps the
// bootstrap registers, the session and the messaging channel; the model its
// own registers; the senders the streams.
class UdpTransport : public Transport, public ControlLink
{
public:
    explicit UdpTransport(bool aTcp) : mTcp(aTcp) {}
    ~UdpTransport() override { Stop(); }

    bool Start(softdevice::DeviceModel &aModel, std::string &aError) override
    {
        mModel = &aModel;
        mAdapter = std::make_unique<GvcpAdapter>(aModel);
        mAdapter->OnResend([this](const gvcp::PacketResendCmd &aRequest) {
            if (aRequest.streamChannel < mSenders.size()) mSenders[aRequest.streamChannel]->Resend(aRequest);
        });
        // FORCEIP: the server answers from the new address already; the
        // streams follow it, and the source port registers say so.
        mAdapter->OnAddress([this](uint32_t aIp) {
            for (size_t i = 0; i < mSenders.size(); ++i) {
                std::string error;
                if (mSenders[i]->Reopen(aIp, error))
                    mServer->GetServer().SetStreamSourcePort(uint32_t(i), mSenders[i]->Port());
            }
            if (mAnnouncer) {
                std::string error;
                mAnnouncer->Open(aIp, mSenders.size(), error);
            }
            // The stream ports move too (their connections end, and the
            // channels send datagrams until a host connects again), and
            // the offer names the new ones.
            if (mStreams) {
                std::string error;
                mStreams->Stop();
                mStreams = std::make_unique<TcpStreams>();
                if (mStreams->Start(aIp, SenderList(), error)) Advertise();
                else mStreams.reset();
            }
        });
        gvcpserver::ServerConfig config;
        config.identity = GvcpAdapter::IdentityOf(aModel);
        const std::string xml = aModel.Description();
        config.description.assign(xml.begin(), xml.end());
        config.descriptionName = "tarn_softcamera.xml";
        config.streamChannels = uint32_t(aModel.GetStreams().Count());
        config.streamCapabilities = aModel.GetStreams().Capabilities();
        config.actionSignals = 1;
        config.limits = standardBootstrapLimits(aModel.Features());
        mServer = std::make_unique<gvcpserver::UdpServer>(config, mAdapter.get(), mAdapter.get());
        // From each channel's own source port, as its blocks.
        mServer->RouteTestPackets([this](uint32_t aChannel, size_t aSize, const net::Endpoint &aTo) {
            if (aChannel < mSenders.size()) mSenders[aChannel]->SendTestPacket(aSize, aTo);
        });
        const uint32_t ip = aModel.Net().ip;
        for (size_t i = 0; i < aModel.GetStreams().Count(); ++i) {
            auto sender = std::make_unique<GvspSender>(aModel.GetStreams().GetChannel(i).Config());
            if (!sender->Open(ip, aError)) return false;
            mServer->GetServer().SetStreamSourcePort(uint32_t(i), sender->Port());
            aModel.GetStreams().SetSender(i, sender.get());
            mSenders.push_back(std::move(sender));
        }
        if (mTcp) {
            // Announced before the first request can ask for it.
            mStreams = std::make_unique<TcpStreams>();
            if (!mStreams->Start(ip, SenderList(), aError)) return false;
            Advertise();
            mServer->EnableTcp(true);
        }
        if (aModel.GetStreams().RtpEnabled()) StartRtp(aModel, ip);
        if (!mServer->Start(gvcp::formatIPv4(ip), gvcp::kPort, &aError)) return false;
        aModel.SetLink(this);
        aModel.ControlChannelStarted(mServer->Port());
        return true;
    }

    void Stop() override
    {
        if (!mModel) return;
        if (mServer) mServer->Stop();
        if (mStreams) mStreams->Stop();
        // No controller any more: its streams end before their senders go.
        mModel->ControlChannelStopped();
        mModel->SetLink(nullptr);
        for (size_t i = 0; i < mSenders.size(); ++i) {
            mModel->GetStreams().SetSender(i, nullptr);
            mModel->GetStreams().SetRtpSender(i, nullptr);
        }
        mStreams.reset();
        mRtpSenders.clear();
        mAnnouncer.reset();
        mSenders.clear();
        mServer.reset();
        mAdapter.reset();
        mModel = nullptr;
    }

private:
    std::vector<GvspSender *> SenderList() const
    {
        std::vector<GvspSender *> senders;
        for (auto &s : mSenders) senders.push_back(s.get());
        return senders;
    }

    void Advertise()
    {
        gev::TcpAdvertisement offer;
        offer.controlPort = gvcp::kPort;
        offer.streamPorts = mStreams->Ports();
        mAdapter->SetAdvertisement(offer.Encode());
    }

    // Each channel may stream over RTP instead, from its GVSP source port;
    // without the announcer the streams still run, unannounced.
    void StartRtp(DeviceModel &aModel, uint32_t aIp)
    {
        mAnnouncer = std::make_unique<SapAnnouncer>();
        std::string error;
        if (!mAnnouncer->Open(aIp, mSenders.size(), error)) mAnnouncer.reset();
        for (size_t i = 0; i < mSenders.size(); ++i) {
            GvspSender *gvsp = mSenders[i].get();
            auto out = [gvsp](const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount, net::Endpoint aTo) {
                return gvsp->SendDatagrams(aDatas, aSizes, aCount, aTo);
            };
            mRtpSenders.push_back(std::make_unique<RtpSender>(aModel.GetStreams().GetChannel(i).Config(), i, out, mAnnouncer.get()));
            aModel.GetStreams().SetRtpSender(i, mRtpSenders.back().get());
        }
    }

    // ---- ControlLink: what the model hands the server.
    void PublishIdentity(const IdentityTexts &aTexts) override
    {
        gvcp::DeviceIdentity identity;
        GvcpAdapter::ApplyTexts(identity, aTexts);
        mServer->GetServer().SetIdentityTexts(identity);
    }
    void PublishDescription(const std::string &aXml) override
    {
        mServer->GetServer().SetDescription(gvcp::Bytes(aXml.begin(), aXml.end()));
    }
    bool PostEvent(uint16_t aEventId, uint64_t aBlockId, uint16_t aChannel, const uint8_t *aData,
                   uint32_t aSize) override
    {
        gvcp::Event event;
        event.eventId = aEventId;
        event.streamChannel = aChannel;
        event.blockId = aBlockId & 0xFFFF;
        event.timestamp = Timestamp();
        if (!aData) return mServer->PostEvent(event);
        const gvcp::Bytes data(aData, aData + aSize);
        return mServer->PostEvent(event, &data);
    }
    bool EventsOpen() const override { return mServer->GetServer().MessageChannelOpen(); }
    uint64_t Timestamp() const override { return mServer->GetServer().Timestamp(gvcpserver::Clock::now()); }
    void ReadStatistics(uint64_t (&aCounts)[Statistics::kCount]) const override
    {
        const gvcpserver::ServerStats s = mServer->GetServer().Stats();
        const uint64_t values[Statistics::kCount] = {
            s.readMemsReceived, s.writeMemsReceived, s.readRegsReceived, s.writeRegsReceived, s.discoveriesReceived,
            s.actionCommandsReceived, s.forceIpsReceived, s.packetResendRequestsReceived, s.pendingAcksIssued,
            s.retriesReceived, s.retriesReceivedMax, s.eventsIssued, s.eventDatasIssued, s.eventRetriesIssued,
            s.eventRetriesIssuedMax, s.sessionsOpened, s.sessionsClosed, s.heartbeatFailedCount, s.gvspTestPacketsIssued};
        for (int i = 0; i < Statistics::kCount; ++i) aCounts[i] = values[i];
    }
    void ResetStatistics() override { mServer->GetServer().ResetStats(); }

    softdevice::DeviceModel *mModel = nullptr;
    std::unique_ptr<GvcpAdapter> mAdapter;
    std::unique_ptr<gvcpserver::UdpServer> mServer;
    std::vector<std::unique_ptr<GvspSender>> mSenders;
    const bool mTcp;
    std::unique_ptr<TcpStreams> mStreams;
    std::unique_ptr<SapAnnouncer> mAnnouncer;
    std::vector<std::unique_ptr<RtpSender>> mRtpSenders;
};

} // namespace

std::unique_ptr<Transport> makeUdpTransport(bool aTcp)
{
    return std::make_unique<UdpTransport>(aTcp);
}

} // namespace softdevice
} // namespace tarn
