"""Sends NumPy frames as a GigE Vision stream without a camera around them,
and receives them with the receiving module.

    python transmitter.py [--address 127.0.0.6] [--frames 20]

The transmitter sends to one receiver, here a stream in this same script;
its control responder answers GigE Vision control requests at the
transmitter's address, so that receivers find it and their packet-resend
requests reach it. Run it in a private network namespace (tools/netns).
"""
import argparse

import numpy as np

import tarn_base_310 as tb
import tarn_edge_310 as te
import tarn_receive_310 as tr

WIDTH, HEIGHT = 640, 480


def check(result, what):
    if not result.IsOK():
        raise RuntimeError(f"{what}: {result.GetCodeString()} {result.GetDescription()}")


def frame(number):
    """Frame `number`: a ramp that moves one step per frame."""
    return ((np.arange(HEIGHT * WIDTH, dtype=np.uint32).reshape(HEIGHT, WIDTH) + number) & 0xFF).astype(np.uint8)


def send_and_receive(address="127.0.0.6", count=20):
    """Sends `count` frames from `address` to a stream of this process; how
    many arrived equal to what was sent."""
    # The receiving end first: a stream of our own towards the transmitter's
    # address, with a buffer queued for every frame.
    stream = tr.ZuStreamGEV()
    check(stream.Open(address), "opening the stream")
    received = [tb.ZuBuffer() for _ in range(count)]
    for buffer in received:
        check(buffer.Alloc(WIDTH * HEIGHT), "allocating a buffer")
        stream.QueueBuffer(buffer)          # answers ZU_PENDING

    tx = te.ZuTransmitterGEV()
    check(tx.Open(te.ZuString(stream.GetLocalIPAddress()), stream.GetLocalPort(), te.ZuString(address)),
          "opening the transmitter")
    responder = te.ZuVirtualDeviceGEV()
    check(responder.AddTransmitterGEV(tx), "adding the transmitter")
    check(responder.StartListening(te.ZuString(address)), "starting the responder")
    try:
        # Four buffers take turns: a queued buffer is the transmitter's until
        # it is free again (sent, and no longer held for resends).
        pool = [tb.ZuBuffer() for _ in range(4)]
        for buffer in pool:
            check(buffer.GetImage().Alloc(WIDTH, HEIGHT, tb.ZuPixelMono8), "allocating a buffer")
        for number in range(count):
            buffer = pool[number % len(pool)]
            if number >= len(pool):
                check(tx.RetrieveFreeBuffer(None, 2000), "waiting for a free buffer")
            buffer.GetImage().GetDataPointer()[...] = frame(number)
            check(tx.QueueBuffer(buffer), "queueing a frame")

        same = 0
        for number in range(count):
            result, buffer, operation = stream.RetrieveBuffer(2000)
            check(result, "waiting for a frame")
            if operation.IsOK() and np.array_equal(buffer.GetImage().GetDataPointer(), frame(number)):
                same += 1
        return same
    finally:
        responder.StopListening()
        tx.Close()
        stream.Close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.6", help="the transmitter's address")
    parser.add_argument("--frames", type=int, default=20)
    args = parser.parse_args()
    same = send_and_receive(args.address, args.frames)
    print(f"{same} of {args.frames} frames of {WIDTH}x{HEIGHT} arrived as they were sent")


if __name__ == "__main__":
    main()
