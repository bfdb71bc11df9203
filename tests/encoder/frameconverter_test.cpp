// The nv12 frames the encoder takes hold the same picture as the planar ones it took before:
// every sample within 2 levels, on a picture with bars, gradients and fine detail, in sizes whose
// rows are not a multiple of the converter's vector width.
#include "FrameConverter.h"

#include <QtTest>

#include <cstdlib>
#include <vector>

class TestFrameConverter : public QObject
{
    Q_OBJECT

private slots:
    void nv12MatchesPlanar_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("1080p") << 1920 << 1080;
        QTest::newRow("odd vector tail") << 1366 << 768;
        QTest::newRow("small") << 34 << 18;
    }

    void nv12MatchesPlanar()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        const int stride = width * 4 + 64; // padded rows, as a grab may have
        std::vector<uint8_t> bgrx(size_t(stride) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &bgrx[size_t(y) * stride + size_t(x) * 4];
                const int bar = x * 8 / width;
                p[0] = uint8_t(bar & 1 ? 255 : (x * 255 / width));
                p[1] = uint8_t(bar & 2 ? 255 : (y * 255 / height));
                p[2] = uint8_t(bar & 4 ? 255 : ((x ^ y) & 1) * 255);
                p[3] = 0;
            }
        }
        const size_t bytes = FrameConverter::frameBytes(width, height);
        std::vector<uint8_t> planar(bytes);
        std::vector<uint8_t> nv12(bytes);
        QVERIFY(FrameConverter::convert(bgrx.data(), stride, width, height, FrameConverter::Layout::Yuv420p,
                                        planar.data()));
        QVERIFY(FrameConverter::convert(bgrx.data(), stride, width, height, FrameConverter::Layout::Nv12,
                                        nv12.data()));
        const size_t luma = size_t(width) * height;
        const size_t chroma = size_t(width / 2) * (height / 2);
        int worst = 0;
        for (size_t i = 0; i < luma; ++i)
            worst = std::max(worst, std::abs(planar[i] - nv12[i]));
        for (size_t i = 0; i < chroma; ++i) {
            worst = std::max(worst, std::abs(planar[luma + i] - nv12[luma + 2 * i]));
            worst = std::max(worst, std::abs(planar[luma + chroma + i] - nv12[luma + 2 * i + 1]));
        }
        QVERIFY2(worst <= 2, qPrintable(QString("a sample differs by %1 levels").arg(worst)));
    }
};

QTEST_GUILESS_MAIN(TestFrameConverter)
#include "frameconverter_test.moc"
