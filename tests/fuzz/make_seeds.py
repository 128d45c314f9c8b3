"""Writes the hand-made seeds of the fuzz targets into corpus/<target>/:
one valid input of each kind a parser knows, and the hostile shapes that
once broke one. Run again after changing it; the seeds are kept in git.

    PYTHONPATH=build/python .venv/bin/python tests/fuzz/make_seeds.py
"""
import io
import re
import struct
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent


def write(target, name, data):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data.encode() if isinstance(data, str) else data)


def command(code, payload=b"", flags=0x01, req_id=1):
    return struct.pack(">BBHHH", 0x42, flags, code, len(payload), req_id) + payload


def ack(code, payload=b"", status=0, ack_id=1):
    return struct.pack(">HHHH", status, code, len(payload), ack_id) + payload


def identity():
    def text(value, size):
        return value.encode().ljust(size, b"\0")
    return (struct.pack(">HHI", 2, 0, 0x80000001) + b"\0\0" + bytes([2, 0, 0, 0, 0, 1]) +
            struct.pack(">II", 7, 6) + bytes(12) + struct.pack(">I", 0x7F00000A) + bytes(12) +
            struct.pack(">I", 0xFF000000) + bytes(12) + struct.pack(">I", 0) +
            text("tarn", 32) + text("Seed", 32) + text("1.0", 32) + text("info", 48) +
            text("S1", 16) + text("cam", 16))


def gvcp():
    seeds = {
        "discovery": command(0x0002, flags=0x11),
        "forceip": command(0x0004, bytes(2) + bytes([2, 0, 0, 0, 0, 1]) + bytes(12) + struct.pack(">I", 0x7F00000B)
                           + bytes(12) + struct.pack(">I", 0xFF000000) + bytes(16)),
        "readreg": command(0x0080, struct.pack(">III", 0, 0x24, 0x934)),
        "writereg": command(0x0082, struct.pack(">IIII", 0xA00, 2, 0x938, 3000)),
        "readmem": command(0x0084, struct.pack(">IHH", 0x48, 0, 32)),
        "readmem_unaligned": command(0x0084, struct.pack(">IHH", 0x48, 0, 6)),
        "writemem": command(0x0086, struct.pack(">I", 0xE8) + b"name"),
        "writemem_unaligned": command(0x0086, struct.pack(">I", 0xE8) + b"nam"),
        "packetresend": command(0x0040, struct.pack(">HHII", 0, 7, 1, 5)),
        "packetresend_extended": command(0x0040, struct.pack(">HHIIQ", 0, 0, 1, 5, 1 << 40), flags=0x11),
        "event": command(0x00C0, struct.pack(">HHHHQ", 0, 0x9001, 0, 3, 123)),
        "eventdata": command(0x00C2, struct.pack(">HHHHQ", 0, 0x9002, 0, 3, 123) + b"data"),
        "action": command(0x0100, struct.pack(">III", 1, 2, 3)),
        "action_scheduled": command(0x0100, struct.pack(">IIIQ", 1, 2, 3, 1000), flags=0x81),
        "discovery_ack": ack(0x0003, identity()),
        "readreg_ack": ack(0x0081, struct.pack(">II", 0x00020000, 0x80000001)),
        "readmem_ack": ack(0x0085, struct.pack(">I", 0x48) + b"tarn"),
        "writereg_ack": ack(0x0083, struct.pack(">HH", 0, 2)),
        "pending_ack": ack(0x0089, struct.pack(">HH", 0, 500)),
        "error_ack": ack(0x0081, status=0x8003),
    }
    for target in ("gvcp_decode", "gvcp_server", "softdevice_gvcp"):
        for name, data in seeds.items():
            write(target, name, data)
    # The server keeps state from one input to the next: control taken with
    # the messaging channel and pending acknowledges, a slow write, the
    # description read.
    server = {
        "take_control": command(0x0082, struct.pack(">IIIIIIII", 0xA00, 2, 0x954, 2, 0xB10, 0x7F000001, 0xB00, 6000),
                                req_id=2),
        "slow_write": command(0x0082, struct.pack(">II", 0x20100, 1), req_id=3),
        "description": command(0x0084, struct.pack(">IHH", 0x30000, 0, 100), req_id=4),
        "stream_test_packet": command(0x0082, struct.pack(">IIIIII", 0xD18, 0x7F000001, 0xD00, 7000, 0xD04,
                                                          0xC00005DC), req_id=5),
    }
    for name, data in server.items():
        write("gvcp_server", name, data)
        write("softdevice_gvcp", name, data)
    # The software camera's own registers: image size, user sets, a stream
    # and its acquisition.
    camera = {
        "geometry": command(0x0082, struct.pack(">IIIIII", 0x10000, 16, 0x10004, 8, 0x10010, 0x01080001), req_id=6),
        "user_sets": command(0x0082, struct.pack(">IIII", 0x11018, 2, 0x11020, 1), req_id=7),
        "acquisition": command(0x0082, struct.pack(">IIIIII", 0xD18, 0x7F000001, 0xD00, 7000, 0x11000, 1), req_id=8),
        "chunks": command(0x0082, struct.pack(">IIII", 0x1001C, 0x4000, 0x10020, 1), req_id=9),
        "camera_memory": command(0x0084, struct.pack(">IHH", 0x10000, 0, 64), req_id=10),
    }
    for name, data in camera.items():
        write("softdevice_gvcp", name, data)


def genicam_urls():
    # What a device's URL register may hold: a local description, zipped and
    # with a schema query, a file, a truncated field and another scheme.
    seeds = {
        "local": "Local:device.xml;100000;5C2F",
        "local_zip_query": "local:Camera.zip;10000;2000?SchemaVersion=1.1.0",
        "file": "File:///opt/cam/description.xml",
        "malformed": "Local:x.xml;;\0garbage",
        "http": "http://example.invalid/d.xml",
    }
    for name, data in seeds.items():
        write("genicam_url", name, data)


def user_sets():
    # A file with two sets and a default, one cut short, one with a bad value.
    good = ("tarn-user-sets 1\ndefault 2\nset 1\nWidth#0 00000040\nGain 0000000A\nend\n"
            "set 2\nLabel 6869000000000000\nend\n")
    write("user_sets", "two_sets", good)
    write("user_sets", "cut_short", good[:60])
    write("user_sets", "bad_value", "tarn-user-sets 1\nset 1\nGain 0X\nend\n")


def genicam():
    fixture = (ROOT / "tests/sdk/genicam/fixture.h").read_text()
    camera = re.search(r'R"XML\((.*?)\)XML"', fixture, re.S).group(1)
    write("genicam_xml", "camera.xml", camera)
    small = ('<?xml version="1.0"?><RegisterDescription ModelName="M" VendorName="V" SchemaMajorVersion="1" '
             'SchemaMinorVersion="1" xmlns="http://www.genicam.org/GenApi/Version_1_1">'
             '<Integer Name="A"><pValue>B</pValue></Integer>'
             '<SwissKnife Name="B"><pVariable Name="X">C</pVariable><Formula>X*2+1</Formula></SwissKnife>'
             '<Integer Name="C"><Value>3</Value></Integer>'
             '<StringReg Name="S"><Address>0</Address><Length>8</Length><AccessMode>RW</AccessMode>'
             '<pPort>Device</pPort></StringReg><Port Name="Device"/></RegisterDescription>')
    write("genicam_xml", "small.xml", small)
    for name, deflated in (("stored", zipfile.ZIP_STORED), ("deflated", zipfile.ZIP_DEFLATED)):
        data = io.BytesIO()
        with zipfile.ZipFile(data, "w", deflated) as archive:
            archive.writestr("camera.xml", camera if name == "deflated" else small)
        write("genicam_zip", name + ".zip", data.getvalue())
    formulas = {
        "arith": "(A + B * 3 - 4 / 2) % 5",
        "bits": "(A & 0xFF) | (B ^ 3) << 2 >> 1 | ~A",
        "logic": "A > 1 && B <= 2 || !(VALUE = 3) ? A : B",
        "float": "SQRT(ABS(VALUE)) + SIN(PI / 2) * EXP(1) + LN(E) - ROUND(2.5, 1) + ATAN(1)",
        "power": "2 ** 10 ** 2 - -A",
        "ternary": "A ? B ? 1 : 2 : 3",
    }
    for name, text in formulas.items():
        write("genicam_formula", name, text)


def gendc():
    import tarn_base_310 as tb

    def build(chunks, size=2048):
        buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
        assert buffer.Alloc(size).IsOK()
        gendc = buffer.GetGenDC()
        assert gendc.AddComponent(tb.ZuComponentIntensity) == 0
        assert gendc.AddComponent(tb.ZuComponentMetadata) == 1
        assert gendc[0].AddPart(tb.ZuGenDCPart2D, 0) == 0
        assert gendc[1].AddPart(tb.ZuGenDCPartMetadataGenICamChunk, 1) == 0
        header = gendc[0][0].Get2DHeader()
        header.SizeX, header.SizeY, header.Format, header.DataSize = 4, 3, tb.ZuPixelMono8, 12
        for i in range(chunks):
            assert gendc[1][0].GetGenDCChunkWriter().AddChunk(i + 1, struct.pack(">I", i)).IsOK()
        header = gendc.GetHeader()
        return buffer.GetDataPointer()[:header.DataOffset + header.DataSize].tobytes()

    write("gendc", "image_and_chunk", build(1))
    # Many chunks in one part: walking them once read the list again for each.
    write("gendc", "many_chunks", build(50))


def gvsp():
    def header(fmt, block, packet, extended=False, status=0):
        if extended:
            return struct.pack(">HHBBHQI", status, 0, 0x80 | fmt, 0, 0, block, packet)
        return struct.pack(">HHI", status, block, (fmt << 24) | packet)

    def leader(block, payload_type, body, extended=False):
        return header(1, block, 0, extended) + struct.pack(">BBHQ", 0, 0, payload_type, 7) + body

    image = struct.pack(">IIIIIHH", 0x01080001, 8, 8, 0, 0, 0, 0)
    packets = {
        "image_leader": leader(1, 1, image),
        "image_leader_extended": leader(1, 1, image, True),
        "raw_leader": leader(1, 2, struct.pack(">Q", 100)),
        "gendc_leader": leader(1, 11, struct.pack(">QBBHI", 96, 0x80, 0, 0, 32)),
        "multipart_leader": leader(1, 10, struct.pack(">HHIIHBBIHH", 1, 0, 64, 0x01080001, 0, 0, 0, 0, 0, 0)
                                   + struct.pack(">6I", 8, 8, 0, 0, 0, 0)),
        "chunk_trailer": header(2, 1, 3) + struct.pack(">HHIII", 0, 0x4001, 8, 16, 1),
        "multipart_data": header(7, 1, 1) + bytes([0, 0]) + bytes(6) + bytes(64),
        "gendc_data": header(8, 1, 1) + struct.pack(">IQBBH", 32, 0, 0x60, 0x80, 0) + bytes(32),
        "unavailable": header(3, 1, 2, status=0x800C),
        "test_packet": header(3, 0, 0) + bytes(range(64)),
    }
    for name, data in packets.items():
        write("gev_dissect", "gvsp_" + name, data)

    def stream(settings, capacity, datagrams):
        out = bytes([settings, capacity])
        for step, d in datagrams:
            out += struct.pack(">HB", len(d), step) + d
        return out

    body = bytes(range(64))
    whole = [(0, leader(5, 1, image)), (0, header(3, 5, 1) + body), (1, header(2, 5, 2) + struct.pack(">HHI", 0, 1, 8))]
    write("gvsp_reassembler", "image_whole", stream(1, 8, whole))
    write("gvsp_reassembler", "image_gap_resend", stream(1, 16, [whole[0], (1, header(3, 5, 2) + body),
                                                               (1, header(2, 5, 3) + struct.pack(">HHI", 0, 1, 8)),
                                                               (3, header(3, 5, 1) + body)]))
    write("gvsp_reassembler", "wrap_and_late", stream(5, 8, [(0, leader(0xFFFF, 1, image)),
                                                            (0, header(3, 0xFFFF, 1) + body),
                                                            (0, leader(1, 1, image)),
                                                            (9, header(3, 0xFFFF, 1) + body)]))
    write("gvsp_reassembler", "multipart", stream(1, 8, [(0, packets["multipart_leader"]),
                                                        (0, packets["multipart_data"]),
                                                        (0, header(2, 1, 2) + struct.pack(">HHHHII", 0, 10, 1, 0, 64, 8))]))
    write("gvsp_reassembler", "gendc", stream(3, 8, [(0, packets["gendc_leader"]), (0, packets["gendc_data"])]))
    write("gvsp_reassembler", "extended", stream(1, 8, [(0, leader(1, 1, image, True)),
                                                       (0, header(3, 1, 1, True) + body)]))

    # Single packets that once cost more than the block they name, each
    # between whole 8x8 blocks, and a camera restarted or sending smaller
    # packets under an open stream.
    def block(number, packets=1):
        size = 64 // packets
        return ([(0, leader(number, 1, image))]
                + [(0, header(3, number, 1 + k) + body[k * size:(k + 1) * size]) for k in range(packets)]
                + [(1, header(2, number, 1 + packets) + struct.pack(">HHI", 0, 1, 8))])

    noise = bytes((k * 73 + 41) % 256 for k in range(100))
    huge = struct.pack(">IIIIIHH", 0x01080001, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0, 0)
    hostile = {
        "gendc_noise": [(0, header(8, 6, 1) + noise)],
        "gendc_noise_far": [(0, header(8, 20006, 1) + noise)],
        "far_leader_trailer": [(0, leader(30005, 1, image)), (0, header(2, 30005, 1) + struct.pack(">HHI", 0, 1, 8))],
        "huge_leader": [(0, leader(6, 1, huge))],
        "gendc_zeros": [(0, header(8, 6, 1) + bytes(600))],
        "far_packet_id": [(0, header(3, 6, 0xFFFFF) + bytes(9))],
        "stray_payload": [(0, header(3, 6, 2) + bytes(range(200)))],
        "removed_and_before": [(0, header(3, 6, 1, status=0x8011))],
    }
    for name, packets in hostile.items():
        write("gvsp_reassembler", "hostile_" + name, stream(1, 8, block(5) + packets + block(6) + block(7)))
    write("gvsp_reassembler", "restart", stream(1, 8, block(300) + block(1) + block(2)))
    write("gvsp_reassembler", "smaller_packets", stream(1, 8, block(1) + block(2, 2) + block(3, 4)))
    # One slot, taken by a block without its trailer; the next, its leader
    # lost, waits for the slot until the time runs out.
    write("gvsp_reassembler", "slot_taken_until_the_end",
          stream(1, 8, block(5)[:2] + [(0, header(3, 6, 1) + body), (0, header(2, 6, 2) + struct.pack(">HHI", 0, 1, 8))]))


def gvsp_property():
    # Choices for tests/fuzz/gvsp_property.cpp: any bytes make a run; a few
    # of different lengths start the fuzzer off with blocks of every kind.
    for n, length in enumerate((64, 400, 1400)):
        write("gvsp_property", f"run{n}", bytes((k * 151 + n * 29 + (k >> 3)) % 256 for k in range(length)))


def update_file(members):
    """A firmware update file: the magic, named members, the CRC-32."""
    import zlib
    out = b"TARNFWU1"
    for name, data in members:
        out += struct.pack("<H", len(name)) + name.encode() + struct.pack("<I", len(data)) + data
    return out + struct.pack("<I", zlib.crc32(out))


def updates():
    manifest = b"Format=1\nVersion=1.2.3\nImage=fw.bin\nModel=SoftCamera\n"
    write("update_file", "good", update_file([("manifest", manifest), ("fw.bin", bytes(range(256)))]))
    write("update_file", "no_manifest", update_file([("fw.bin", b"abc")]))
    write("update_file", "bad_lines", update_file([("manifest", b"Format=1\nVersion\nImage=\n=\n"), ("x", b"")]))
    write("update_file", "overrun", update_file([("manifest", manifest)])[:-4] + struct.pack("<HI", 1, 0xFFFFFFF0) + b"\0\0\0\0")


def rtp_packet(marker, seq, ts, payload, pt=96):
    """An RTP packet after its RFC 4571 length."""
    packet = struct.pack(">BBHII", 0x80, (0x80 if marker else 0) | pt, seq, ts, 0x1234) + payload
    return struct.pack(">H", len(packet)) + packet


def rtp():
    # Raw video: first byte 0x03 is UYVY (4 bytes a group of 2), width 2, height 1.
    line = struct.pack(">HHHH", 0, 4, 0, 0) + b"\x10\x20\x30\x40"
    write("rtp_raw_video", "uyvy_frame", b"\x03" + rtp_packet(True, 1, 90, line))
    two = struct.pack(">HHHHHHH", 0, 4, 0, 0x8000, 4, 1, 0) + bytes(8)
    write("rtp_raw_video", "two_segments", b"\xe3" + rtp_packet(False, 1, 90, two) + rtp_packet(True, 2, 90, two))
    # H.264: STAP-A of two units, then an IDR slice in three FU-A fragments.
    stap = b"\x78" + struct.pack(">H", 4) + b"\x67\x42\x00\x1e" + struct.pack(">H", 3) + b"\x68\xce\x38"
    fus = [b"\x7c\x85" + bytes(10), b"\x7c\x05" + bytes(10), b"\x7c\x45" + bytes(10)]
    write("rtp_h264", "stap_and_fu", b"\x40" + rtp_packet(False, 1, 3000, stap) +
          b"".join(rtp_packet(k == 2, 2 + k, 3000, fu) for k, fu in enumerate(fus)))
    # Access units to send: parameter sets and a slice larger than a packet,
    # and zeros, empty units and short start codes between units.
    write("rtp_h264_send", "idr", b"\x10" + b"".join(b"\0\0\0\1" + u for u in
                                                 (b"\x09\xf0", b"\x67\x42\xc0\x1e", b"\x68\xce\x3c\x80", b"\x65" + bytes(range(1, 200)))))
    write("rtp_h264_send", "zeros", b"\x00" + b"\0\0\1\x41\x22\0\0\0\0\1\0\0\1\x41\x33\0\0\0")
    write("rtp_h264", "single_units", b"\x02" + rtp_packet(False, 9, 1, b"\x41\x01\x02") + rtp_packet(True, 10, 1, b"\x41\x03"))


def gev_tcp():
    # The first byte picks the read size; then the bytes of the connection.
    def frame(packet):
        return struct.pack(">I", len(packet)) + packet
    readreg = command(0x0080, struct.pack(">I", 0x0A00))
    write("gev_tcp", "two_commands", b"\x00" + frame(readreg) + frame(readreg))
    write("gev_tcp", "byte_reads", b"\x00" + frame(bytes(1500)) + frame(b"\x42"))
    write("gev_tcp", "large_reads", b"\xff" + frame(bytes(1400)) * 3)
    write("gev_tcp", "oversized", b"\x05" + frame(b"x") + struct.pack(">I", 1501) + bytes(10))
    write("gev_tcp", "empty_frame", b"\x05" + struct.pack(">I", 0))
    write("gev_tcp", "half_frame", b"\x01" + struct.pack(">I", 100) + bytes(40))
    offer = struct.pack(">IHHHHHH", 0x54435047, 1, 1, 3956, 2, 40000, 40001)
    write("gev_tcp", "offer", b"\x00" + offer.ljust(64, b"\0"))


if __name__ == "__main__":
    gev_tcp()
    rtp()
    updates()
    gvcp()
    genicam()
    genicam_urls()
    user_sets()
    gendc()
    gvsp()
    gvsp_property()
