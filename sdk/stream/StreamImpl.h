#ifndef TARN_STREAM_IMPL_H
#define TARN_STREAM_IMPL_H

// The buffer queue every kind of stream shares. The application's threads
// queue and retrieve; the kind's receiver takes queued buffers to fill and
// hands them back done. One lock guards the queue; nothing is called
// while it is held except waking a waiter.

#include "ZuBuffer.h"
#include "ZuStream.h"
#include "StreamParameters.h"
#include "tarn/SinkList.h"
#include "tarn/Stream.h"

#include <condition_variable>
#include <mutex>
#include <vector>

struct ZuStream::Impl
{
    enum class State : uint8_t { Queued, Filling, Done };
    struct Entry {
        ZuBuffer *buffer = nullptr;
        State state = State::Queued;
        ZuResult result;
    };

    Impl();

    // ---- Application side
    ZuResult Queue(ZuBuffer *aBuffer);
    ZuResult Retrieve(ZuBuffer **aBuffer, ZuResult *aOperationResult, uint32_t aTimeout);
    // Ends every queued buffer with ABORTED and asks the receiver to end the
    // ones it fills (abortFilling), then waits until none is being filled.
    ZuResult AbortAll();
    uint32_t Count() const;

    // ---- Opening and closing (by the kind)
    // Makes room for aCapacity buffers, keeping those not yet retrieved.
    void Opened(uint32_t aCapacity, uint16_t aChannel);
    // After the receiver stopped: what was queued ends ABORTED.
    void Closed();
    bool IsOpen() const;

    // ---- Receiver side
    // The next queued buffer to fill, null when none is queued.
    ZuBuffer *Take();
    // A buffer the receiver took is done with aResult.
    void Done(ZuBuffer *aBuffer, const ZuResult &aResult);
    bool Filling() const;

    // What a kind's receiver does for the queue; set while open.
    struct Receiver {
        virtual ~Receiver() = default;
        // Ends the blocks being filled, each through Done, from another
        // thread; returns once asked (not once done).
        virtual void AbortFilling() = 0;
        // Stops receiving; the blocks being filled end through Done first.
        virtual void Stop() = 0;
    };
    Receiver *receiver = nullptr;

    // Opening and closing take turns: one receiver starts or stops at a
    // time, whichever threads ask (a Free closes while the application may).
    std::mutex opening;
    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<Entry> ring;
    size_t head = 0;
    size_t count = 0;
    size_t taken = 0;           // entries from head on that are no longer queued
    uint32_t capacity = 64;
    uint16_t channel = 0;
    bool open = false;
    bool retrieving = false;
    // Made by the factory: opening asks the device and fails when none answers.
    bool deviceMustAnswer = false;
    tarn::SinkList<ZuStreamEventSink> sinks;
    // Told when the stream goes.
    std::shared_ptr<tarn::StreamUsers> users = std::make_shared<tarn::StreamUsers>(false);
    tarn::StreamParameters parameters;

private:
    Entry &At(size_t aOffset) { return ring[(head + aOffset) % ring.size()]; }
    void EndQueued(const ZuResult &aResult);
};

#endif
