// Agreement with OpenCV where the conventions are the same: the bilinear
// Bayer interpolation away from the borders (OpenCV fills its borders its
// own way) and full-range YCbCr 4:4:4. OpenCV names a Bayer pattern by the
// second line's sites, so GenICam's BayerRG is its BayerBG.
#include "ZuBufferConverter.h"

#include "support.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using support::MakeImage;
using support::MakeTarget;

TEST(OpenCV, BayerInterpolationAgreesInsideTheBorder)
{
    struct Pattern
    {
        ZuPixelType type8, type16;
        int code;
    };
    const Pattern patterns[] = {{ZuPixelBayerRG8, ZuPixelBayerRG16, cv::COLOR_BayerBG2BGR},
                                {ZuPixelBayerGR8, ZuPixelBayerGR16, cv::COLOR_BayerGB2BGR},
                                {ZuPixelBayerGB8, ZuPixelBayerGB16, cv::COLOR_BayerGR2BGR},
                                {ZuPixelBayerBG8, ZuPixelBayerBG16, cv::COLOR_BayerRG2BGR}};
    ZuBufferConverter converter(2);
    const int w = 67, h = 41;
    for (const Pattern &p : patterns)
        for (bool wide : {false, true}) {
            auto source = MakeImage(wide ? p.type16 : p.type8, w, h, 0, 0, {}, 17);
            auto target = MakeTarget(wide ? ZuPixelBGR16 : ZuPixelBGR8);
            ASSERT_TRUE(converter.Convert(source.get(), target.get()).IsOK());
            cv::Mat in(h, w, wide ? CV_16UC1 : CV_8UC1, source->GetImage()->GetDataPointer()), out;
            cv::cvtColor(in, out, p.code);
            cv::Mat ours(h, w, wide ? CV_16UC3 : CV_8UC3, target->GetImage()->GetDataPointer());
            cv::Rect inside(1, 1, w - 2, h - 2);
            EXPECT_EQ(cv::norm(ours(inside), out(inside), cv::NORM_INF), 0.0)
                << support::Name(source->GetImage()->GetPixelType());
        }
}

TEST(OpenCV, YuvFourFourFourAgreesWithFullRangeYCrCb)
{
    const int w = 64, h = 16;
    auto source = MakeImage(ZuPixelYUV8_UYV, w, h, 0, 0, {}, 23);
    auto target = MakeTarget(ZuPixelRGB8);
    ZuBufferConverter converter;
    ASSERT_TRUE(converter.Convert(source.get(), target.get()).IsOK());
    cv::Mat ycrcb(h, w, CV_8UC3);
    const uint8_t *uyv = source->GetImage()->GetDataPointer();
    for (int i = 0; i < w * h; ++i) {
        ycrcb.data[3 * i] = uyv[3 * i + 1];
        ycrcb.data[3 * i + 1] = uyv[3 * i + 2];
        ycrcb.data[3 * i + 2] = uyv[3 * i];
    }
    cv::Mat out;
    cv::cvtColor(ycrcb, out, cv::COLOR_YCrCb2RGB);
    cv::Mat ours(h, w, CV_8UC3, target->GetImage()->GetDataPointer());
    // Both round fixed-point arithmetic: a level may differ by one.
    EXPECT_LE(cv::norm(ours, out, cv::NORM_INF), 1.0);
}
