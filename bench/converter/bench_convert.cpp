// Pixel conversion and compression beside OpenCV, Zstandard, LZ4 and a
// plain scalar reference, measured in one run on the same images.
//
//     build/bin/bench_convert [megapixels]
//
// Each figure is the best of several runs, the contenders taking turns.
// Ratios are the peer's time to ours: above 1 means ours is faster. The machine's other work makes single figures
// noisy; compare ratios from the same run.
#include "ZuBuffer.h"
#include "ZuBufferConverter.h"
#include "ZuCompressionFilter.h"
#include "ZuDecompressionFilter.h"
#include "ZuImage.h"
#include "ZuPixelTypeInfo.h"

#include <lz4.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace {

double Seconds(const std::function<void()> &aRun)
{
    auto t0 = std::chrono::steady_clock::now();
    aRun();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best time of each contender, measured in alternating rounds so that a
// burst of other work on the machine falls on all of them alike.
std::vector<double> Race(const std::vector<std::function<void()>> &aRuns, int aRounds = 9)
{
    std::vector<double> best(aRuns.size(), 1e30);
    for (const auto &run : aRuns)
        run(); // warm caches and lazily started threads
    for (int round = 0; round < aRounds; ++round)
        for (size_t i = 0; i < aRuns.size(); ++i)
            best[i] = std::min(best[i], Seconds(aRuns[i]));
    return best;
}

const uint32_t kThreads = std::max(1u, std::thread::hardware_concurrency());

// A camera-like scene: smooth shading, edges and a little sensor noise.
void Scene(uint8_t *aOut, size_t aCount, unsigned aMax, uint32_t aWidth)
{
    std::mt19937 random(1);
    for (size_t i = 0; i < aCount; ++i) {
        size_t x = i % aWidth, y = i / aWidth;
        double v = 0.5 + 0.3 * std::sin(x * 0.004) * std::cos(y * 0.005) + ((x / 200 + y / 150) % 2 ? 0.1 : -0.1);
        aOut[i] = uint8_t(std::min<unsigned>(aMax, unsigned(v * aMax) + random() % 5));
    }
}

std::unique_ptr<ZuBuffer> Image(ZuPixelType aType, uint32_t aWidth, uint32_t aHeight)
{
    std::unique_ptr<ZuBuffer> b(new ZuBuffer);
    b->GetImage()->Alloc(aWidth, aHeight, aType);
    return b;
}

// ---- Scalar references: one pixel at a time, no tricks ---------------------

void ScalarBayerRG8(const uint8_t *in, int w, int h, uint8_t *out)
{
    auto at = [&](int x, int y) {
        x = x < 0 ? -x : x >= w ? 2 * w - 2 - x : x;
        y = y < 0 ? -y : y >= h ? 2 * h - 2 - y : y;
        return int(in[y * w + x]);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int r, g, b, c = at(x, y);
            int cross = (at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1) + 2) / 4;
            int diag = (at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1) + 2) / 4;
            int hor = (at(x - 1, y) + at(x + 1, y) + 1) / 2, ver = (at(x, y - 1) + at(x, y + 1) + 1) / 2;
            if (y % 2 == 0 && x % 2 == 0) r = c, g = cross, b = diag;
            else if (y % 2 == 1 && x % 2 == 1) b = c, g = cross, r = diag;
            else if (y % 2 == 0) g = c, r = hor, b = ver;
            else g = c, b = hor, r = ver;
            uint8_t *o = out + 3 * (size_t(y) * w + x);
            o[0] = uint8_t(r), o[1] = uint8_t(g), o[2] = uint8_t(b);
        }
}

void ScalarUyvy(const uint8_t *in, size_t pixels, uint8_t *out)
{
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t *g = in + (i / 2) * 4;
        double y = g[i % 2 ? 3 : 1], u = g[0] - 128.0, v = g[2] - 128.0;
        double c[3] = {y + 1.402 * v, y - 0.344136 * u - 0.714136 * v, y + 1.772 * u};
        for (int k = 0; k < 3; ++k)
            out[3 * i + k] = uint8_t(std::min(255.0, std::max(0.0, std::floor(c[k] + 0.5))));
    }
}

void ScalarMono12p(const uint8_t *in, size_t pixels, uint16_t *out)
{
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t *p = in + (i / 2) * 3;
        unsigned v = i % 2 ? (p[1] >> 4) | (p[2] << 4) : p[0] | ((p[1] & 0x0F) << 8);
        out[i] = uint16_t(v << 4);
    }
}

void Line(const char *aCase, const char *aWho, double aSeconds, double aPixels, double aOurs)
{
    std::printf("%-28s %-26s %9.1f Mpix/s  ratio %5.2f\n", aCase, aWho, aPixels / aSeconds / 1e6, aSeconds / aOurs);
}

void Conversions(uint32_t w, uint32_t h)
{
    const double pixels = double(w) * h;
    ZuBufferConverter one(1), all{int32_t(kThreads)};

    struct Case
    {
        const char *name;
        ZuPixelType source, target;
        int cvCode;             // -1: no OpenCV counterpart
        int cvType;
        std::function<void(const uint8_t *, uint8_t *)> scalar;
    };
    const Case cases[] = {
        {"BayerRG8 -> RGB8 (3x3)", ZuPixelBayerRG8, ZuPixelRGB8, cv::COLOR_BayerBG2RGB, CV_8UC1,
         [&](const uint8_t *in, uint8_t *out) { ScalarBayerRG8(in, int(w), int(h), out); }},
        {"YUV422_8_UYVY -> RGB8", ZuPixelYUV422_8_UYVY, ZuPixelRGB8, cv::COLOR_YUV2RGB_UYVY, CV_8UC2,
         [&](const uint8_t *in, uint8_t *out) { ScalarUyvy(in, size_t(pixels), out); }},
        {"Mono12p -> Mono16", ZuPixelMono12p, ZuPixelMono16, -1, 0,
         [&](const uint8_t *in, uint8_t *out) { ScalarMono12p(in, size_t(pixels), reinterpret_cast<uint16_t *>(out)); }},
    };
    for (const Case &c : cases) {
        auto source = Image(c.source, w, h);
        Scene(source->GetDataPointer(), source->GetSize(), 255, uint32_t(w * ZuPixelTypeGetBitsPerPixel(c.source) / 8));
        auto target = Image(c.target, w, h);
        std::vector<uint8_t> scalarOut(target->GetSize());
        cv::Mat in(int(h), int(w), c.cvType, source->GetDataPointer()), out;
        std::vector<std::function<void()>> runs = {
            [&] { one.Convert(source.get(), target.get()); },
            [&] { all.Convert(source.get(), target.get()); },
        };
        if (c.cvCode >= 0) {
            runs.push_back([&] { cv::setNumThreads(1); cv::cvtColor(in, out, c.cvCode); });
            runs.push_back([&] { cv::setNumThreads(int(kThreads)); cv::cvtColor(in, out, c.cvCode); });
        }
        const std::vector<double> t = Race(runs);
        const double scalar = Race({[&] { c.scalar(source->GetDataPointer(), scalarOut.data()); }}, 3)[0];
        Line(c.name, "ours, 1 thread", t[0], pixels, t[0]);
        char who[64];
        std::snprintf(who, sizeof who, "ours, %u threads", kThreads);
        Line(c.name, who, t[1], pixels, t[1]);
        std::printf("%-28s %-26s %9s          scaling %5.2f\n", c.name, "", "", t[0] / t[1]);
        Line(c.name, "scalar reference", scalar, pixels, t[0]);
        if (c.cvCode >= 0) {
            Line(c.name, "OpenCV, 1 thread", t[2], pixels, t[0]);
            std::snprintf(who, sizeof who, "OpenCV, %u threads", kThreads);
            Line(c.name, who, t[3], pixels, t[1]);
        }
    }
}

void Compression(uint32_t w, uint32_t h)
{
    ZuCompressionFilter compressor;
    ZuDecompressionFilter decompressor;
    decompressor.SetThreadCount(kThreads);
    for (ZuPixelType type : {ZuPixelMono8, ZuPixelBayerRG12}) {
        auto image = Image(type, w, h);
        const size_t raw = image->GetSize();
        if (type == ZuPixelMono8) {
            Scene(image->GetDataPointer(), raw, 255, w);
        } else {
            std::vector<uint8_t> levels(size_t(w) * h);
            Scene(levels.data(), levels.size(), 255, w);
            uint16_t *p = reinterpret_cast<uint16_t *>(image->GetDataPointer());
            for (size_t i = 0; i < levels.size(); ++i)
                p[i] = uint16_t(levels[i] * 16 + i % 7);
        }
        const char *name = type == ZuPixelMono8 ? "Mono8 scene" : "BayerRG12 scene";
        ZuBuffer packed, back;
        std::vector<uint8_t> out(ZSTD_compressBound(raw)), again(raw);
        std::vector<char> lz(LZ4_compressBound(int(raw)));
        size_t n = 0;
        int m = 0;
        const char *data = reinterpret_cast<const char *>(image->GetDataPointer());
        const std::vector<double> t = Race({
            [&] { compressor.Execute(image.get(), &packed); },
            [&] { decompressor.Execute(&packed, &back); },
            [&] { n = ZSTD_compress(out.data(), out.size(), image->GetDataPointer(), raw, 1); },
            [&] { ZSTD_decompress(again.data(), raw, out.data(), n); },
            [&] { m = LZ4_compress_default(data, lz.data(), int(raw), int(lz.size())); },
            [&] { LZ4_decompress_safe(lz.data(), reinterpret_cast<char *>(again.data()), m, int(raw)); },
        }, 5);
        const double mb = raw / 1e6;
        const char *who[3] = {"ours (RZC1)", "zstd -1, whole image", "LZ4, whole image"};
        const double sizes[3] = {double(packed.GetAcquiredSize()), double(n), double(m)};
        for (int i = 0; i < 3; ++i)
            std::printf("%-28s %-26s compress %7.1f MB/s  decompress %7.1f MB/s  ratio %5.2f\n", name, who[i],
                        mb / t[2 * i], mb / t[2 * i + 1], raw / sizes[i]);
    }
}

}

int main(int argc, char **argv)
{
    double megapixels = argc > 1 ? std::atof(argv[1]) : 3.1;
    uint32_t w = 2048, h = uint32_t(std::max(2.0, megapixels * 1e6 / w)) & ~1u;
    std::printf("images %ux%u, %u threads at most; OpenCV %s\n", w, h, kThreads, CV_VERSION);
    Conversions(w, h);
    Compression(w, h);
    return 0;
}
