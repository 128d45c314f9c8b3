// Pixel conversion and compression beside OpenCV, Zstandard, LZ4 and
// memcpy, measured in one run on the same images.
//
//     build/bin/bench_convert [megapixels]
//
// Contenders take turns in every round (the order rotating), after a
// warm-up round, each writing into output memory made before the rounds;
// OpenCV's thread count is set before a race, never inside a timed call.
// Figures are the medians [lowest-highest] of round-by-round ratios, the
// peer's time to ours: above 1 means ours is faster. With
// TARN_BENCH_RESULTS naming a file, each row is appended to it as a JSON
// line (bench/table.py makes the table of bench/README.md from it).
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
#include <string>
#include <thread>
#include <vector>

namespace {

double Seconds(const std::function<void()> &aRun)
{
    auto t0 = std::chrono::steady_clock::now();
    aRun();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

const int kRounds = std::getenv("TARN_BENCH_ROUNDS") ? std::max(1, std::atoi(std::getenv("TARN_BENCH_ROUNDS"))) : 9;

// A call takes a millisecond or so, less than the time slice another
// process on a shared core may take in the middle of it: a contender's time
// in a round is the best of three calls back to back, so that a round
// measures the conversion rather than whether it was preempted.
constexpr int kTries = 3;

// Each contender's time in every round: one warm-up round (caches, lazily
// started threads), then kRounds rounds in which the contenders take turns,
// the first one changing from round to round.
std::vector<std::vector<double>> Race(const std::vector<std::function<void()>> &aRuns)
{
    std::vector<std::vector<double>> times(aRuns.size());
    for (const auto &run : aRuns)
        run();
    for (int round = 0; round < kRounds; ++round)
        for (size_t k = 0; k < aRuns.size(); ++k) {
            const size_t i = (k + size_t(round)) % aRuns.size();
            double best = Seconds(aRuns[i]);
            for (int again = 1; again < kTries; ++again)
                best = std::min(best, Seconds(aRuns[i]));
            times[i].push_back(best);
        }
    return times;
}

struct Spread
{
    double median, low, high;
};

Spread SpreadOf(std::vector<double> aValues)
{
    std::sort(aValues.begin(), aValues.end());
    const size_t n = aValues.size();
    const double median = n % 2 ? aValues[n / 2] : (aValues[n / 2 - 1] + aValues[n / 2]) / 2;
    return Spread{median, aValues.front(), aValues.back()};
}

// Round by round: the peer's time to ours.
std::vector<double> Ratios(const std::vector<double> &aPeer, const std::vector<double> &aOurs)
{
    std::vector<double> out;
    for (size_t i = 0; i < aOurs.size(); ++i)
        out.push_back(aPeer[i] / aOurs[i]);
    return out;
}

double Load()
{
    double load = 0;
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    return load;
}

// One row: printed, and appended to TARN_BENCH_RESULTS.
void Record(const std::string &aFigure, const std::vector<double> &aRatio, const std::string &aOurs,
            const std::string &aPeer, const std::string &aGoal, const std::string &aMethod)
{
    const Spread r = SpreadOf(aRatio);
    bool met = true;
    if (!aGoal.empty())
        met = aGoal[0] == '<' ? r.median <= std::atof(aGoal.c_str() + 3) : r.median >= std::atof(aGoal.c_str() + 3);
    std::printf("  %s: ratio %.2f [%.2f-%.2f]", aFigure.c_str(), r.median, r.low, r.high);
    if (!aGoal.empty())
        std::printf(" (goal %s: %s)", aGoal.c_str(), met ? "met" : "NOT met");
    std::printf("   ours %s, %s\n", aOurs.c_str(), aPeer.c_str());
    const char *target = std::getenv("TARN_BENCH_RESULTS");
    if (!target)
        return;
    if (FILE *f = std::fopen(target, "a")) {
        std::fprintf(f,
                     "{\"bench\": \"convert (C++)\", \"figure\": \"%s\", \"ours\": \"%s\", \"peer\": \"%s\", "
                     "\"yardstick\": \"\", \"method\": \"%s\", \"goal\": \"%s\", \"yardstick_goal\": \"\", "
                     "\"load\": %.1f, \"ratio\": [%.4f, %.4f, %.4f]",
                     aFigure.c_str(), aOurs.c_str(), aPeer.c_str(), aMethod.c_str(), aGoal.c_str(), Load(), r.median,
                     r.low, r.high);
        if (!aGoal.empty())
            std::fprintf(f, ", \"met\": %s", met ? "true" : "false");
        std::fprintf(f, "}\n");
        std::fclose(f);
    }
}

std::string Rate(double aPerSecond, const char *aUnit)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f %s", aPerSecond / 1e6, aUnit);
    return text;
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

void Conversions(uint32_t w, uint32_t h)
{
    const double pixels = double(w) * h;
    ZuBufferConverter one(1), all{int32_t(kThreads)};
    char method[160];
    std::snprintf(method, sizeof method, "%ux%u, C++, output allocated once, %d interleaved rounds, best of %d calls each", w, h, kRounds, kTries);

    struct Case
    {
        const char *name;
        ZuPixelType source, target;
        int cvCode;             // -1: no OpenCV counterpart
        int cvType;
    };
    const Case cases[] = {
        {"BayerRG8 -> RGB8 (3x3)", ZuPixelBayerRG8, ZuPixelRGB8, cv::COLOR_BayerBG2RGB, CV_8UC1},
        {"YUV422_8_UYVY -> RGB8", ZuPixelYUV422_8_UYVY, ZuPixelRGB8, cv::COLOR_YUV2RGB_UYVY, CV_8UC2},
        {"YUV422_8 (YUYV) -> RGB8", ZuPixelYUV422_8, ZuPixelRGB8, cv::COLOR_YUV2RGB_YUY2, CV_8UC2},
        {"Mono12p -> Mono16", ZuPixelMono12p, ZuPixelMono16, -1, 0},
    };
    for (const Case &c : cases) {
        auto source = Image(c.source, w, h);
        Scene(source->GetDataPointer(), source->GetSize(), 255, uint32_t(w * ZuPixelTypeGetBitsPerPixel(c.source) / 8));
        auto target = Image(c.target, w, h);
        const size_t bytes = target->GetSize();
        std::vector<uint8_t> copyIn(bytes, 7), copyOut(bytes);
        cv::Mat in(int(h), int(w), c.cvType, source->GetDataPointer());
        cv::Mat out(int(h), int(w), CV_8UC3);
        auto copy = [&] { std::memcpy(copyOut.data(), copyIn.data(), bytes); };
        if (c.cvCode < 0) {
            const auto t = Race({[&] { one.Convert(source.get(), target.get()); }, copy});
            Record(std::string(c.name) + ", one thread, beside memcpy of the output", Ratios(t[1], t[0]),
                   Rate(pixels / SpreadOf(t[0]).median, "Mpix/s"),
                   "memcpy: " + Rate(pixels / SpreadOf(t[1]).median, "Mpix/s"), "", method);
            continue;
        }
        cv::setNumThreads(1);
        const auto single = Race({[&] { one.Convert(source.get(), target.get()); },
                                  [&] { cv::cvtColor(in, out, c.cvCode); }, copy});
        Record(std::string(c.name) + ", one thread", Ratios(single[1], single[0]),
               Rate(pixels / SpreadOf(single[0]).median, "Mpix/s"),
               std::string("OpenCV ") + CV_VERSION + ": " + Rate(pixels / SpreadOf(single[1]).median, "Mpix/s") +
                   "; memcpy of the output: " + Rate(pixels / SpreadOf(single[2]).median, "Mpix/s"),
               ">= 1.2", method);
        cv::setNumThreads(int(kThreads));
        const auto every = Race({[&] { all.Convert(source.get(), target.get()); },
                                 [&] { cv::cvtColor(in, out, c.cvCode); }});
        char name[96];
        std::snprintf(name, sizeof name, "%s, %u threads", c.name, kThreads);
        Record(name, Ratios(every[1], every[0]), Rate(pixels / SpreadOf(every[0]).median, "Mpix/s"),
               std::string("OpenCV: ") + Rate(pixels / SpreadOf(every[1]).median, "Mpix/s"), ">= 1.2", method);
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
        const auto t = Race({
            [&] { compressor.Execute(image.get(), &packed); },
            [&] { decompressor.Execute(&packed, &back); },
            [&] { n = ZSTD_compress(out.data(), out.size(), image->GetDataPointer(), raw, 1); },
            [&] { ZSTD_decompress(again.data(), raw, out.data(), n); },
            [&] { m = LZ4_compress_default(data, lz.data(), int(raw), int(lz.size())); },
            [&] { LZ4_decompress_safe(lz.data(), reinterpret_cast<char *>(again.data()), m, int(raw)); },
        });
        const char *who[3] = {"ours (RZC1)", "zstd -1", "LZ4"};
        const double sizes[3] = {double(packed.GetAcquiredSize()), double(n), double(m)};
        char text[3][96];
        for (int i = 0; i < 3; ++i)
            std::snprintf(text[i], sizeof text[i], "%s: compress %.0f MB/s, decompress %.0f MB/s, size ratio %.2f",
                          who[i], raw / SpreadOf(t[2 * i]).median / 1e6, raw / SpreadOf(t[2 * i + 1]).median / 1e6,
                          raw / sizes[i]);
        for (int step = 0; step < 2; ++step)
            for (int peer = 1; peer < 3; ++peer)
                Record(std::string(name) + (step ? ": decompression beside " : ": compression beside ") + who[peer],
                       Ratios(t[2 * peer + step], t[step]), text[0], text[peer], "",
                       "whole image, the filters' default threads");
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
