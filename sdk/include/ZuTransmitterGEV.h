#ifndef ZU_TRANSMITTER_GEV_H
#define ZU_TRANSMITTER_GEV_H

#include "IZuTransmitterGEV.h"
#include "ZuString.h"

class ZuBuffer;

// Plain comments, not documentation comments: the bindings of this class
// carry no docstrings of its own (its interface's twins carry them).

// Sends buffers to one receiver as a GigE Vision stream (GVSP over UDP),
// without a device around it.
//
// Open towards a destination, queue buffers (images or raw data), and the
// transmitter's own thread sends each as one block: leader, data packets
// of the packet size, trailer. A sent buffer stays held for packet
// resends (see SetSentBuffersTimeout and Open's resend history) and then
// becomes free: RetrieveFreeBuffer hands free buffers back in the order
// they were queued. A buffer must not change from QueueBuffer until it is
// free again.
class ZU_API ZuTransmitterGEV : public IZuTransmitterGEV
{
public:
    // Builds a transmitter that is not open.
    ZuTransmitterGEV();
    // Closes the transmitter if open and destroys it.
    virtual ~ZuTransmitterGEV();

    // Opens the transmitter towards a receiver and starts its thread.
    // @param aDestinationIPAddress Receiver address, dotted decimal; a
    //        multicast group (224.0.0.0 to 239.255.255.255) sends to its members.
    // @param aDestinationPort Receiver UDP port, 1 to 65535.
    // @param aSourceIPAddress Local address to send from, dotted decimal;
    //        empty: the address the route to the receiver takes.
    // @param aSourcePort Local UDP port to send from; 0: one the system picks.
    // @param aDoNotFragment True: datagrams leave with "do not fragment",
    //        so that one larger than the path allows is refused, not split.
    // @param aExtendedIDs Initial ID mode, as SetExtendedIDs sets it.
    // @param aPacketsPerCall Datagrams handed to the system in one call,
    //        1 to 64; fewer make pacing finer, more cost less per packet.
    // @param aMulticastLoopback True: multicast datagrams also reach
    //        receivers on this host.
    // @param aResendHistory Sent blocks held at most for packet resends,
    //        1 to 1024; the oldest becomes free when a newer one needs the room.
    // @param aSendBufferSize Socket send buffer in bytes; 0: the system's default.
    // @return ZU_OK; ZU_STATE_ERROR if already open; ZU_INVALID_PARAMETER
    //         for an address, port or count out of range; ZU_NETWORK_ERROR
    //         if the local address cannot be bound; ZU_THREAD_ERROR.
    ZuResult Open(ZuString aDestinationIPAddress, uint16_t aDestinationPort, ZuString aSourceIPAddress = ZuString(""),
                  uint16_t aSourcePort = 0, bool aDoNotFragment = true, bool aExtendedIDs = false,
                  uint32_t aPacketsPerCall = 64, bool aMulticastLoopback = false, uint32_t aResendHistory = 32,
                  uint32_t aSendBufferSize = 0);
    // Ends the thread, frees every buffer (those waiting are not sent) and
    // closes the socket.
    // @return ZU_OK; ZU_STATE_ERROR if not open.
    ZuResult Close();

    // Adds buffers to the pool of free buffers, for RetrieveFreeBuffer to
    // hand out before any buffer sent later.
    // @param aBuffers Array of aCount buffers.
    // @param aCount Number of buffers.
    // @return ZU_OK; ZU_INVALID_PARAMETER for a null array or buffer, or a count of 0.
    ZuResult LoadBufferPool(ZuBuffer **aBuffers, uint32_t aCount);
    // Queues a buffer (image or raw data) to be sent as the next block.
    // @param aBuffer The buffer; it stays the transmitter's until free again.
    // @return ZU_OK; ZU_INVALID_PARAMETER for a null buffer or one with
    //         nothing to send; ZU_STATE_ERROR if not open.
    ZuResult QueueBuffer(ZuBuffer *aBuffer);
    // Takes the oldest free buffer: loaded into the pool, sent and no longer
    // held for resends, or aborted.
    // @param aBuffer Receives the buffer; null: the buffer is taken all the same.
    // @param aTimeout Time to wait for one, in ms.
    // @return ZU_OK; ZU_TIMEOUT if none became free in time; ZU_ABORTED if
    //         the transmitter closed while waiting.
    ZuResult RetrieveFreeBuffer(ZuBuffer **aBuffer, uint32_t aTimeout = 0xFFFFFFFF);
    // Frees the buffers still waiting, unsent, and those held for resends,
    // after waiting for the block being sent to end.
    // @param aTimeout Time to wait for the block being sent, in ms.
    // @param aAborted Set to whether a waiting buffer was freed unsent; may be null.
    // @return ZU_OK; ZU_TIMEOUT if the block being sent did not end in time.
    ZuResult AbortQueuedBuffers(uint32_t aTimeout = 0xFFFFFFFF, bool *aAborted = 0);
    // Sends one GVSP test packet (block 0, packet 0) of the packet size.
    // @return ZU_OK; ZU_STATE_ERROR if not open; ZU_NETWORK_ERROR.
    ZuResult FireTestPacket();
    // Number of buffers waiting to be sent, the one being sent included.
    uint32_t GetQueuedBufferCount();

    // Size of the datagrams with their IP and UDP headers, as the stream
    // channel packet size of a device counts it (1500 by default).
    uint32_t GetPacketSize();
    // Sets the packet size for the blocks sent from now on.
    // @param aPacketSize Bytes with the IP and UDP headers, 576 to 65535.
    // @return ZU_OK; ZU_INVALID_PARAMETER out of range.
    ZuResult SetPacketSize(uint32_t aPacketSize);
    // Payload throughput the transmitter holds to, in megabits per second;
    // 0: as fast as the system sends.
    float GetMaxPayloadThroughput();
    // Sets the payload throughput to hold to.
    // @param aMaxPayloadThroughput Megabits per second; 0 or infinity: no limit.
    // @return ZU_OK; ZU_INVALID_PARAMETER for a negative value or NaN.
    ZuResult SetMaxPayloadThroughput(float aMaxPayloadThroughput);
    // Local UDP port the stream leaves from (0 while closed).
    uint16_t GetSourcePort();
    // Receiver UDP port.
    uint16_t GetDestinationPort();
    // Local address the stream leaves from, dotted decimal.
    ZuString GetSourceIPAddress();
    // Receiver address, dotted decimal.
    ZuString GetDestinationIPAddress();

    // Clears the statistics and starts a new sampling time.
    void ResetStats();
    // Blocks sent since the statistics were reset.
    uint64_t GetBlocksTransmitted() const;
    // Time since the statistics were reset (or the transmitter opened), in
    // microseconds: the span of the averages.
    uint64_t GetSamplingTime() const;
    // Payload bytes (the buffers' data, without headers) sent since the
    // statistics were reset.
    uint64_t GetPayloadBytesTransmitted() const;
    // Payload throughput over the last second, in megabits per second.
    float GetInstantaneousPayloadThroughput() const;
    // Payload throughput over the sampling time, in megabits per second.
    float GetAveragePayloadThroughput() const;
    // Blocks per second over the last second.
    float GetInstantaneousTransmissionRate() const;
    // Blocks per second over the sampling time.
    float GetAverageTransmissionRate() const;
    // Packet resends queued since the statistics were reset.
    uint64_t GetNumberOfResendRequests() const;

    // Sets how long a sent buffer stays held for packet resends before it
    // becomes free.
    // @param aTimeout Milliseconds (50 by default); 0: free once sent.
    // @return ZU_OK.
    ZuResult SetSentBuffersTimeout(uint32_t aTimeout);
    // How long a sent buffer stays held for packet resends, in ms.
    uint32_t GetSentBuffersTimeout() const;

    virtual bool IsOpen() const;
    virtual bool IsTransmitting() const;
    virtual bool GetExtendedIDs() const;
    virtual ZuResult SetExtendedIDs(bool aExtendedID);
    virtual void QueuePacketResend(uint64_t aBlockID, uint32_t aFirstPacketID, uint32_t aLastPacketID);

    // Priority of the thread that sends the stream: 0 (the normal
    // scheduler) or 1 to 99 (real time, as SCHED_FIFO).
    uint32_t GetUserModeTransmitterThreadPriority() const;
    // Sets the priority of the sending thread; real-time priorities need
    // the privilege to use them.
    // @param aPriority 0 to 99.
    // @return ZU_OK; ZU_INVALID_PARAMETER above 99; ZU_THREAD_ERROR if the
    //         system refused it.
    ZuResult SetUserModeTransmitterThreadPriority(uint32_t aPriority);
    // Priority of the thread that hands sent buffers back to the pool
    // (the sending thread itself here), 0 to 99.
    uint32_t GetBufferPoolThreadPriority() const;
    // Sets the priority of the thread that hands buffers back.
    // @param aPriority 0 to 99.
    // @return ZU_OK; ZU_INVALID_PARAMETER above 99; ZU_THREAD_ERROR.
    ZuResult SetBufferPoolThreadPriority(uint32_t aPriority);

#ifndef SWIG
    ZuTransmitterGEV(const ZuTransmitterGEV &) = delete;
    ZuTransmitterGEV &operator=(const ZuTransmitterGEV &) = delete;

    struct Impl;
    Impl &GetImpl() const { return *mImpl; }

private:
    Impl *mImpl;
#endif
};

#endif
