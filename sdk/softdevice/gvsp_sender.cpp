#include "softdevice/gvsp_sender.h"

#include "ZuBuffer.h"
#include "ZuGenDC.h"
#include "ZuImage.h"

#include <poll.h>

namespace tarn {
namespace softdevice {

bool describeBlock(ZuBuffer &aBuffer, gvsp::BlockSource &aSource)
{
    aSource = gvsp::BlockSource();
    aSource.leader.timestamp = aBuffer.GetTimestamp();
    switch (aBuffer.GetPayloadType()) {
    case ZuPayloadTypeImage: {
        ZuImage *image = aBuffer.GetImage();
        if (!image) return false;
        gvsp::ImageInfo &info = aSource.leader.image;
        info.pixelFormat = uint32_t(image->GetPixelType());
        info.sizeX = image->GetWidth();
        info.sizeY = image->GetHeight();
        info.offsetX = image->GetOffsetX();
        info.offsetY = image->GetOffsetY();
        info.paddingX = image->GetPaddingX();
        info.paddingY = image->GetPaddingY();
        aSource.leader.payloadType = gvsp::PAYLOAD_IMAGE;
        aSource.trailer.sizeY = info.sizeY;
        aSource.data = image->GetDataPointer();
        aSource.size = image->GetImageSize();
        break;
    }
    case ZuPayloadTypeRawData:
        aSource.leader.payloadType = gvsp::PAYLOAD_RAW;
        aSource.data = aBuffer.GetDataPointer();
        aSource.size = aBuffer.GetSize();
        aSource.leader.payloadSize = aSource.size;
        break;
    case ZuPayloadTypeGenDC: {
        // The whole container (descriptor, then data) as laid out in the
        // buffer; a container that does not hold together is not sent.
        const IZuGenericDataContainer *container = aBuffer.GetGenDC();
        const GenDCContainerHeader *header = container ? container->GetHeader() : nullptr;
        if (!header || !container->IsValid() || header->DataOffset < 0) return false;
        const uint64_t total = uint64_t(header->DataOffset) + header->DataSize;
        if (total > aBuffer.GetSize() || header->DescriptorSize > total) return false;
        aSource.leader.payloadType = gvsp::PAYLOAD_GENDC;
        aSource.leader.payloadSize = total;
        aSource.leader.genDCDescriptorSize = header->DescriptorSize;
        aSource.data = aBuffer.GetDataPointer();
        aSource.size = total;
        break;
    }
    default:
        return false;
    }
    // No zero-sized frames.
    return aSource.data && aSource.size;
}

GvspSender::GvspSender(StreamConfig &aConfig) : mConfig(aConfig), mBatch(kBatch * 65536)
{
}

bool GvspSender::open(uint32_t aDeviceIp, std::string &aError)
{
    net::SocketOptions options;
    mSocket = net::UdpSocket::bind({aDeviceIp, 0}, options, &aError);
    if (!mSocket.valid()) return false;
    mPort = mSocket.local().port;
    mConfig.sourcePort = mPort;
    return true;
}

void GvspSender::flush(size_t aCount, net::Endpoint aTo)
{
    size_t done = 0;
    // A loopback receiver drops what its socket cannot hold: when the kernel
    // refuses packets, wait a moment rather than lose them.
    for (int tries = 0; done < aCount && tries < 100; ++tries) {
        const int sent = mSocket.sendAllTo(mDatas + done, mSizes + done, aCount - done, aTo);
        if (sent > 0) {
            done += size_t(sent);
            mPacketsSent += uint64_t(sent);
        } else {
            ::poll(nullptr, 0, 1);
        }
    }
}

void GvspSender::transmit(const Sent &aSent, uint32_t aFirst, uint32_t aLast, bool aResend)
{
    size_t batched = 0;
    for (uint64_t id = aFirst; id <= aLast; ++id) {
        uint8_t *slot = mBatch.data() + batched * 65536;
        const size_t n = aSent.packetizer.write(uint32_t(id), slot, 65536, aResend);
        if (!n) continue;
        mDatas[batched] = slot;
        mSizes[batched] = n;
        if (++batched == kBatch) {
            flush(batched, aSent.to);
            batched = 0;
        }
    }
    if (batched) flush(batched, aSent.to);
}

bool GvspSender::send(ZuBuffer &aBuffer, uint64_t aBlockId)
{
    std::lock_guard<std::mutex> lock(mLock);
    const uint32_t destination = mConfig.destination;
    const uint16_t port = uint16_t(mConfig.port & 0xFFFF);
    const size_t packetSize = mConfig.packetSize & 0xFFFF;
    if (!destination || !port || packetSize <= gvsp::kIpUdpOverhead) return false;
    gvsp::BlockSource source;
    if (!describeBlock(aBuffer, source)) return false;
    std::unique_ptr<Sent> sent;
    if (!mSpare.empty()) {
        sent = std::move(mSpare.back());
        mSpare.pop_back();
    } else {
        sent = std::make_unique<Sent>();
    }
    const bool extended = mConfig.extendedIds;
    // Block ids of 16 bits count 1 to 65535 and start again.
    const uint64_t id = extended ? aBlockId : (aBlockId - 1) % 0xFFFF + 1;
    if (!sent->packetizer.start(source, id, packetSize - gvsp::kIpUdpOverhead, extended)) {
        mSpare.push_back(std::move(sent));
        return false;
    }
    sent->buffer = &aBuffer;
    sent->to = {destination, port};
    transmit(*sent, 0, sent->packetizer.packetCount() - 1, false);
    mHistory.push_back(std::move(sent));
    return true;
}

void GvspSender::release(ZuBuffer *aBuffer)
{
    std::lock_guard<std::mutex> lock(mLock);
    for (auto it = mHistory.begin(); it != mHistory.end(); ++it) {
        if ((*it)->buffer != aBuffer) continue;
        mSpare.push_back(std::move(*it));
        mHistory.erase(it);
        return;
    }
}

void GvspSender::resend(const gvcp::PacketResendCmd &aRequest)
{
    std::lock_guard<std::mutex> lock(mLock);
    for (auto &sent : mHistory) {
        if (sent->packetizer.blockId() != aRequest.blockId) continue;
        const uint32_t last = std::min<uint32_t>(aRequest.lastPacketId, sent->packetizer.packetCount() - 1);
        if (aRequest.firstPacketId <= last) transmit(*sent, aRequest.firstPacketId, last, true);
        return;
    }
}

} // namespace softdevice
} // namespace tarn
