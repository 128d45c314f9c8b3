// The receiver against independent peers: Aravis's fake GigE Vision camera
// sends frames that our stream and pipeline take, and Wireshark's dissector
// reads our resend requests and the test transmitter's packets from a
// capture file without calling any of them malformed. Skipped where a peer
// is not installed.
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuPipeline.h"
#include "ZuStreamGEV.h"
#include "gvsp_sender.h"

#include "gev/gvcp.h"
#include "net/socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarn;

namespace {

bool Have(const char *aTool)
{
    std::string command = std::string("command -v ") + aTool + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string Output(const std::string &aCommand)
{
    std::string out;
    FILE *p = popen(aCommand.c_str(), "r");
    if (!p) return out;
    char line[512];
    while (std::fgets(line, sizeof line, p)) out += line;
    pclose(p);
    return out;
}

// Aravis's fake camera on 127.0.0.1, ended with the test.
class FakeCamera
{
public:
    FakeCamera()
    {
        mPid = fork();
        if (mPid == 0) {
            int devnull = ::open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execlp("arv-fake-gv-camera-0.8", "arv-fake-gv-camera-0.8", "-i", "127.0.0.1", (char *)nullptr);
            _exit(127);
        }
        mControl = net::UdpSocket::Bind(net::Endpoint{0x7F000001, 0}, net::SocketOptions());
        // Ready once it answers a register read.
        for (int k = 0; k < 100 && !mReady; ++k) {
            uint32_t value = 0;
            mReady = Read(0x0000, value);
            if (!mReady) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~FakeCamera()
    {
        if (mPid > 0) {
            kill(mPid, SIGTERM);
            waitpid(mPid, nullptr, 0);
        }
    }
    bool Ready() const { return mReady; }

    bool Write(uint32_t aAddress, uint32_t aValue)
    {
        gvcp::WriteRegCmd cmd;
        cmd.writes.push_back({aAddress, aValue});
        return Exchange(cmd.Encode(++mId)).has_value();
    }
    bool Read(uint32_t aAddress, uint32_t &aValue)
    {
        gvcp::ReadRegCmd cmd;
        cmd.addresses.push_back(aAddress);
        auto ack = Exchange(cmd.Encode(++mId));
        if (!ack) return false;
        auto values = gvcp::ReadRegAck::Decode(*ack);
        if (!values || values->values.empty()) return false;
        aValue = values->values[0];
        return true;
    }

private:
    std::optional<gvcp::Ack> Exchange(const gvcp::Bytes &aCommand)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            mControl.SendTo(aCommand.data(), aCommand.size(), net::Endpoint{0x7F000001, gvcp::kPort});
            pollfd p{mControl.GetFd(), POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) continue;
            uint8_t in[600];
            long n = mControl.Receive(in, sizeof in);
            auto ack = n > 0 ? gvcp::decodeAck(in, size_t(n)) : std::nullopt;
            if (ack && ack->header.status == gvcp::STATUS_SUCCESS) return ack;
        }
        return std::nullopt;
    }
    pid_t mPid = -1;
    net::UdpSocket mControl;
    uint16_t mId = 0;
    bool mReady = false;
};

// Standard stream channel 0 registers and the fake camera's own.
constexpr uint32_t kPrivilege = 0x0A00, kSCP0 = 0x0D00, kSCDA0 = 0x0D18;
constexpr uint32_t kWidth = 0x100, kHeight = 0x104, kPixelFormat = 0x128, kAcquisition = 0x124;

TEST(Interop, FramesOfAravisFakeCameraArriveThroughTheStreamAndThePipeline)
{
    if (!Have("arv-fake-gv-camera-0.8")) GTEST_SKIP() << "arv-fake-gv-camera-0.8 is not installed";
    FakeCamera camera;
    ASSERT_TRUE(camera.Ready());
    ASSERT_TRUE(camera.Write(kPrivilege, 2));
    ASSERT_TRUE(camera.Write(kWidth, 320));
    ASSERT_TRUE(camera.Write(kHeight, 240));
    uint32_t pixel = 0;
    ASSERT_TRUE(camera.Read(kPixelFormat, pixel));

    for (bool viaPipeline : {false, true}) {
        ZuStreamGEV stream;
        ASSERT_TRUE(stream.Open(ZuString("127.0.0.1")).IsOK());
        ASSERT_TRUE(camera.Write(kSCDA0, 0x7F000001));
        ASSERT_TRUE(camera.Write(kSCP0, stream.GetLocalPort()));
        std::vector<std::unique_ptr<ZuBuffer>> buffers;
        std::unique_ptr<ZuPipeline> pipeline;
        if (viaPipeline) {
            pipeline.reset(new ZuPipeline(&stream));
            pipeline->SetBufferSize(320 * 240);
            ASSERT_TRUE(pipeline->Start().IsOK());
        } else {
            for (int k = 0; k < 8; ++k) {
                buffers.emplace_back(new ZuBuffer());
                buffers.back()->Alloc(320 * 240 * 2);
                ASSERT_EQ(stream.QueueBuffer(buffers.back().get()).GetCode(), ZU_PENDING);
            }
        }
        ASSERT_TRUE(camera.Write(kAcquisition, 1));
        uint64_t previous = 0;
        for (int frame = 0; frame < 6; ++frame) {
            ZuBuffer *b = nullptr;
            ZuResult op;
            ZuResult r = viaPipeline ? pipeline->RetrieveNextBuffer(&b, 5000, &op) : stream.RetrieveBuffer(&b, &op, 5000);
            ASSERT_TRUE(r.IsOK()) << r.GetCode();
            EXPECT_TRUE(op.IsOK()) << op.GetCode();
            ASSERT_NE(b->GetImage(), nullptr);
            EXPECT_EQ(b->GetImage()->GetWidth(), 320u);
            EXPECT_EQ(b->GetImage()->GetHeight(), 240u);
            EXPECT_EQ(uint32_t(b->GetImage()->GetPixelType()), pixel);
            EXPECT_EQ(b->GetLostPacketCount(), 0u);
            if (previous) {
                EXPECT_EQ(b->GetBlockID(), gvsp::nextBlockId(previous, b->IsExtendedID()));
            }
            previous = b->GetBlockID();
            if (viaPipeline) pipeline->ReleaseBuffer(b);
            else stream.QueueBuffer(b);
        }
        ASSERT_TRUE(camera.Write(kAcquisition, 0));
        if (pipeline) pipeline->Stop();
        pipeline.reset();
        stream.Close();
    }
}

void WritePcap(const std::string &aPath, const std::vector<test::GvspSender::Record> &aRecords)
{
    std::ofstream out(aPath, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
    u32(0xa1b2c3d4);
    u16(2);
    u16(4);
    u32(0);
    u32(0);
    u32(65535);
    u32(101);   // raw IPv4
    for (const auto &r : aRecords) {
        std::vector<uint8_t> f(28 + r.bytes.size());
        size_t ip = f.size(), udp = 8 + r.bytes.size();
        f[0] = 0x45;
        f[2] = uint8_t(ip >> 8);
        f[3] = uint8_t(ip);
        f[8] = 64;
        f[9] = 17;
        for (int k = 0; k < 4; ++k) {
            f[12 + k] = uint8_t(r.from.ip >> (24 - 8 * k));
            f[16 + k] = uint8_t(r.to.ip >> (24 - 8 * k));
        }
        f[20] = uint8_t(r.from.port >> 8);
        f[21] = uint8_t(r.from.port);
        f[22] = uint8_t(r.to.port >> 8);
        f[23] = uint8_t(r.to.port);
        f[24] = uint8_t(udp >> 8);
        f[25] = uint8_t(udp);
        std::copy(r.bytes.begin(), r.bytes.end(), f.begin() + 28);
        u32(0);
        u32(0);
        u32(uint32_t(f.size()));
        u32(uint32_t(f.size()));
        out.write(reinterpret_cast<const char *>(f.data()), std::streamsize(f.size()));
    }
}

TEST(Interop, WiresharkReadsOurResendRequestsAndTheSendersPacketsWithoutFault)
{
    if (!Have("tshark")) GTEST_SKIP() << "tshark is not installed";
    for (bool extended : {false, true}) {
        test::GvspSender::Options o;
        o.deviceIp = extended ? 0x7F001E02 : 0x7F001E01;
        o.loss = 0.15;
        o.seed = 3;
        o.extendedId = extended;
        test::GvspSender sender(o);
        sender.SetRecording(true);
        ZuStreamGEV stream;
        std::string ip = gvcp::formatIPv4(o.deviceIp);
        ASSERT_TRUE(stream.Open(ZuString(ip.c_str())).IsOK());
        net::Endpoint to{0x7F000001, stream.GetLocalPort()};
        std::vector<std::unique_ptr<ZuBuffer>> buffers;
        for (int k = 0; k < 3; ++k) {
            buffers.emplace_back(new ZuBuffer());
            buffers.back()->Alloc(200 * 50);
            stream.QueueBuffer(buffers.back().get());
        }
        for (uint64_t block = 1; block <= 3; ++block) ASSERT_TRUE(sender.SendImage(200, 50, block, to));
        for (int k = 0; k < 3; ++k) {
            ZuBuffer *b = nullptr;
            ZuResult op;
            ASSERT_TRUE(stream.RetrieveBuffer(&b, &op, 5000).IsOK());
            EXPECT_TRUE(op.IsOK());
        }
        ASSERT_GT(sender.ResendRequests(), 0u);
        // A multi-part block, its part table's fields each of its own value.
        std::vector<uint8_t> image(40 * 30, 0x11), extra(100, 0x22);
        gvsp::PartInfo parts[2];
        parts[0].dataType = 1;
        parts[0].length = image.size();
        parts[0].dataFormat = 0x01080001;
        parts[0].sourceId = 5;
        parts[0].dataPurposeId = 7;
        parts[0].regionId = 9;
        parts[0].specific[0] = 40;
        parts[0].specific[1] = 30;
        parts[1].dataType = 10;
        parts[1].length = extra.size();
        const uint8_t *partData[2] = {image.data(), extra.data()};
        gvsp::BlockSource mp;
        mp.leader.payloadType = gvsp::PAYLOAD_MULTIPART;
        mp.leader.partCount = 2;
        mp.parts = parts;
        mp.partData = partData;
        sender.SetLoss(0);
        stream.QueueBuffer(buffers.front().get());
        ASSERT_TRUE(sender.Send(mp, 4, to));
        {
            ZuBuffer *b = nullptr;
            ZuResult op;
            ASSERT_TRUE(stream.RetrieveBuffer(&b, &op, 5000).IsOK());
            EXPECT_TRUE(op.IsOK());
        }
        std::string path = "/tmp/tarn-interop-" + std::to_string(getpid()) + (extended ? "-ext" : "") + ".pcap";
        WritePcap(path, sender.Recorded());
        // The stream's port also sends the resend requests: GVSP is found by
        // its heuristic, not by port, so that GVCP keeps its own. The
        // heuristic goes first: an ephemeral port may be one that another
        // protocol is registered for (mDNS's, EtherNet/IP's...), which would
        // take the packets otherwise.
        std::string decode = "tshark -r " + path + " --enable-heuristic gvsp_udp -o udp.try_heuristic_first:TRUE ";
        EXPECT_EQ(Output(decode + "-Y _ws.malformed 2>/dev/null"), "");
        // Every resend request decodes to the block and range the receiver asked for.
        std::string resends = Output(decode + "-Y 'gvcp.cmd.command == 0x0040' -T fields -e gvcp.cmd.resend.blockid "
                                           "-e gvcp.cmd.resend.extendedblockid -e gvcp.cmd.resend.firstpacketid "
                                           "-e gvcp.cmd.resend.lastpacketid -e gvcp.cmd.flag.64bitid 2>/dev/null");
        std::istringstream lines(resends);
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            ++count;
            EXPECT_EQ(line.substr(line.rfind('\t') + 1), extended ? "1" : "0") << line;
        }
        EXPECT_EQ(uint64_t(count), sender.ResendRequests()) << resends;
        std::string leaders = Output(decode + "-Y 'gvsp.format == 0x01 || gvsp.format == 0x81' -T fields -e gvsp.sizex "
                                           "-e gvsp.sizey -e gvsp.pixel 2>/dev/null");
        EXPECT_NE(leaders.find("200\t50\t0x01080001"), std::string::npos) << leaders;
        // Wireshark reads a multi-part leader's part table with extended ids only.
        std::string table = Output(decode + "-Y gvsp.numparts -T fields -e gvsp.numparts -e gvsp.multipartdatatype "
                                            "-e gvsp.partlength -e gvsp.sourceid -e gvsp.datapurposeid -e gvsp.regionid "
                                            "-e gvsp.sizex -e gvsp.sizey 2>/dev/null");
        if (extended) {
            EXPECT_EQ(table, "2\t0x0001,0x000a\t0x00000000000004b0,0x0000000000000064\t0x05,0x00\t0x0007,0x0000\t"
                             "0x0009,0x0000\t40\t30\n");
        }
        if (!std::getenv("TARN_KEEP_PCAP")) std::remove(path.c_str());
    }
}

} // namespace
