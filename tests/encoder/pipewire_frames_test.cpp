// The screen cast's frames without PipeWire: buffers as a desktop delivers them (four byte
// orders, padded rows, an offset into the memory, a crop, buffers without a picture, a new size),
// the stream layout of the environment, and the frames composed from the streams, cropped and
// scaled from fractional-scale pixels to logical units, with the pointer drawn in.
#include "FrameConverter.h"
#include "PipeWireComposer.h"
#include "PipeWireLayout.h"
#include "PipeWirePicture.h"

#include <QtTest>
#include <array>
#include <vector>

namespace {

using Rect = PipeWireLayout::Rect;
using Format = PipeWirePicture::Format;
using Rgb = std::array<int, 3>;

const Rgb kRed{0xE0, 0x20, 0x20};
const Rgb kGreen{0x20, 0xC0, 0x40};
const Rgb kBlue{0x20, 0x40, 0xE0};
const Rgb kWhite{0xF0, 0xF0, 0xF0};

// Quadrants of the test pictures: top left, top right, bottom left, bottom right.
Rgb quadrant(int x, int y, int width, int height)
{
    const bool right = x >= width / 2;
    const bool bottom = y >= height / 2;
    return bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
}

// A buffer of the four-quadrant picture in `format`, rows `stride` apart from `offset` on.
std::vector<uint8_t> quadrants(Format format, int width, int height, int stride, int offset)
{
    std::vector<uint8_t> memory(size_t(offset) + size_t(stride) * height, 0x55);
    const bool rgb = format == Format::RGBx || format == Format::RGBA;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = quadrant(x, y, width, height);
            uint8_t* p = memory.data() + offset + size_t(y) * stride + size_t(x) * 4;
            p[0] = uint8_t(rgb ? c[0] : c[2]);
            p[1] = uint8_t(c[1]);
            p[2] = uint8_t(rgb ? c[2] : c[0]);
            p[3] = 0x7F; // the x formats' padding byte means nothing
        }
    }
    return memory;
}

PipeWirePicture::Buffer bufferOf(const std::vector<uint8_t>& memory, Format format, int width, int height,
                                 int stride, int offset)
{
    PipeWirePicture::Buffer buffer;
    buffer.data = memory.data();
    buffer.size = memory.size() - size_t(offset);
    buffer.offset = uint32_t(offset);
    buffer.stride = stride;
    buffer.format = format;
    buffer.width = width;
    buffer.height = height;
    return buffer;
}

Rgb bgrxAt(const uint8_t* pixels, int stride, int x, int y)
{
    const uint8_t* p = pixels + size_t(y) * stride + size_t(x) * 4;
    return {p[2], p[1], p[0]};
}

bool near(const Rgb& a, const Rgb& b, int tolerance = 2)
{
    for (int c = 0; c < 3; ++c) {
        if (std::abs(a[c] - b[c]) > tolerance)
            return false;
    }
    return true;
}

QString text(const Rgb& c)
{
    return QString("(%1,%2,%3)").arg(c[0]).arg(c[1]).arg(c[2]);
}

} // namespace

Q_DECLARE_METATYPE(Format)
Q_DECLARE_METATYPE(Rect)

class TestPipeWireFrames : public QObject
{
    Q_OBJECT

private slots:
    void pictureFromBuffer_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<int>("stride"); // for a 64-pixel row
        QTest::addColumn<int>("offset");
        QTest::addColumn<Rect>("crop");
        QTest::newRow("BGRx") << Format::BGRx << 256 << 0 << Rect{};
        QTest::newRow("RGBx") << Format::RGBx << 256 << 0 << Rect{};
        QTest::newRow("BGRA padded rows") << Format::BGRA << 320 << 0 << Rect{};
        QTest::newRow("RGBA at an offset") << Format::RGBA << 256 << 4096 << Rect{};
        QTest::newRow("RGBx padded, offset, cropped") << Format::RGBx << 272 << 64 << Rect{8, 4, 40, 28};
    }

    void pictureFromBuffer()
    {
        QFETCH(Format, format);
        QFETCH(int, stride);
        QFETCH(int, offset);
        QFETCH(Rect, crop);
        const int width = 64;
        const int height = 48;
        const std::vector<uint8_t> memory = quadrants(format, width, height, stride, offset);
        PipeWirePicture::Buffer buffer = bufferOf(memory, format, width, height, stride, offset);
        buffer.crop = crop;
        PipeWirePicture picture;
        QVERIFY(picture.take(buffer));
        const Rect shown = crop.empty() ? Rect{0, 0, width, height} : crop;
        QCOMPARE(picture.width(), shown.width);
        QCOMPARE(picture.height(), shown.height);
        for (int y = 0; y < shown.height; y += 3) {
            for (int x = 0; x < shown.width; x += 5) {
                const Rgb got = bgrxAt(picture.pixels(), picture.stride(), x, y);
                const Rgb want = quadrant(shown.x + x, shown.y + y, width, height);
                QVERIFY2(got == want,
                         qPrintable(
                             QString("at %1,%2: %3, expected %4").arg(x).arg(y).arg(text(got), text(want))));
            }
        }
    }

    void buffersWithoutPictureKeepTheLast()
    {
        const std::vector<uint8_t> first = quadrants(Format::BGRx, 32, 16, 128, 0);
        PipeWirePicture picture;
        QVERIFY(picture.take(bufferOf(first, Format::BGRx, 32, 16, 128, 0)));
        const uint64_t version = picture.version();
        const std::vector<uint8_t> black(128 * 16, 0);
        PipeWirePicture::Buffer metadataOnly = bufferOf(black, Format::BGRx, 32, 16, 128, 0);
        metadataOnly.size = 0;
        PipeWirePicture::Buffer corrupted = bufferOf(black, Format::BGRx, 32, 16, 128, 0);
        corrupted.corrupted = true;
        PipeWirePicture::Buffer tooShort = bufferOf(black, Format::BGRx, 32, 16, 128, 0);
        tooShort.size = 128 * 15;
        for (const PipeWirePicture::Buffer& buffer : {metadataOnly, corrupted, tooShort})
            QVERIFY(!picture.take(buffer));
        QCOMPARE(picture.version(), version);
        QCOMPARE(bgrxAt(picture.pixels(), picture.stride(), 0, 0), kRed);

        // A new size (the monitor's mode changed) replaces the picture.
        const std::vector<uint8_t> larger = quadrants(Format::RGBA, 40, 20, 160, 0);
        QVERIFY(picture.take(bufferOf(larger, Format::RGBA, 40, 20, 160, 0)));
        QCOMPARE(picture.width(), 40);
        QCOMPARE(picture.height(), 20);
        QCOMPARE(bgrxAt(picture.pixels(), picture.stride(), 39, 19), kWhite);
    }

    void layout()
    {
        std::vector<PipeWireLayout::Stream> streams;
        std::string error;
        QVERIFY(PipeWireLayout::parse("41@0,0,1280x720;57@1280,-100,1920x1080", streams, error));
        QCOMPARE(streams.size(), size_t(2));
        QCOMPARE(streams[1].node, 57u);
        QCOMPARE(streams[1].logical, (Rect{1280, -100, 1920, 1080}));
        QCOMPARE(PipeWireLayout::desktop(streams), (Rect{0, -100, 3200, 1080}));
        for (const char* bad : {"", "41", "41@0,0,1280", "41@0,0,0x720", "x@0,0,1x1", "41@0,0,1x1z"})
            QVERIFY2(!PipeWireLayout::parse(bad, streams, error), bad);

        // A logical 1280x720 monitor cast at 1.5 (1920x1080 pixels): logical edges scale to pixels.
        const PipeWireLayout::Placement area =
            PipeWireLayout::place({0, 0, 1280, 720}, 1920, 1080, {101, 51, 400, 300}, 1.0, 400, 300);
        QCOMPARE(area.source, (Rect{152, 77, 600, 450}));
        QCOMPARE(area.target, (Rect{0, 0, 400, 300}));
        // An area across the edge of two monitors: each gives its part, side by side.
        const Rect across{1200, 100, 160, 100};
        const auto left = PipeWireLayout::place({0, 0, 1280, 720}, 1280, 720, across, 1.0, 160, 100);
        const auto right = PipeWireLayout::place({1280, 0, 1280, 720}, 2560, 1440, across, 1.0, 160, 100);
        QCOMPARE(left.source, (Rect{1200, 100, 80, 100}));
        QCOMPARE(left.target, (Rect{0, 0, 80, 100}));
        QCOMPARE(right.source, (Rect{0, 200, 160, 200}));
        QCOMPARE(right.target, (Rect{80, 0, 80, 100}));
        QVERIFY(PipeWireLayout::place({0, 0, 1280, 720}, 1280, 720, {1300, 0, 10, 10}, 1.0, 10, 10).empty());
    }

    void composedFrames()
    {
        // Two monitors: a 200x100 one at 1:1 and a 200x100 one cast at 1.5 (300x150 pixels) right of it.
        PipeWirePicture plain;
        PipeWirePicture scaled;
        const std::vector<uint8_t> a = quadrants(Format::BGRx, 200, 100, 800, 0);
        std::vector<uint8_t> b = quadrants(Format::RGBx, 300, 150, 1216, 32);
        QVERIFY(plain.take(bufferOf(a, Format::BGRx, 200, 100, 800, 0)));
        // Read from the stream's own memory, not copied.
        QVERIFY(scaled.show(bufferOf(b, Format::RGBx, 300, 150, 1216, 32)));
        const std::vector<Rect> logical{{0, 0, 200, 100}, {200, 0, 200, 100}};
        const std::vector<const PipeWirePicture*> pictures{&plain, &scaled};

        struct Probe
        {
            int x, y;
            Rgb colour;
        };
        struct Case
        {
            const char* name;
            Rect area;
            double scale;
            int width, height;
            std::vector<Probe> probes;
        };
        const std::vector<Case> cases{
            {"area of the first monitor",
             {20, 10, 100, 60},
             1.0,
             100,
             60,
             {{10, 10, kRed}, {90, 50, kWhite}}},
            {"area of the scaled monitor, in logical units",
             {290, 40, 100, 40},
             1.0,
             100,
             40,
             {{2, 2, kRed}, {20, 2, kGreen}, {2, 30, kBlue}, {90, 30, kWhite}}},
            {"whole desktop",
             {0, 0, 400, 100},
             1.0,
             400,
             100,
             {{10, 10, kRed}, {390, 90, kWhite}, {210, 90, kBlue}}},
            {"desktop snapshot in the scaled monitor's pixels",
             {0, 0, 400, 100},
             1.5,
             600,
             150,
             {{10, 10, kRed}, {290, 140, kWhite}, {310, 10, kRed}, {590, 140, kWhite}}},
        };
        const auto check = [&](const Case& c) {
            PipeWireComposer composer(logical, c.area, c.scale, c.width, c.height);
            const std::vector<uint8_t>& frame = composer.toBgrx(pictures, false);
            QCOMPARE(frame.size(), size_t(c.width) * c.height * 4);
            for (const Probe& probe : c.probes) {
                const Rgb got = bgrxAt(frame.data(), c.width * 4, probe.x, probe.y);
                QVERIFY2(near(got, probe.colour), qPrintable(QString("%1 at %2,%3: %4, expected %5")
                                                                 .arg(c.name)
                                                                 .arg(probe.x)
                                                                 .arg(probe.y)
                                                                 .arg(text(got), text(probe.colour))));
            }
        };
        for (const Case& c : cases)
            check(c);
        // The stream takes its memory back: the picture stays as it was.
        scaled.detach();
        std::fill(b.begin(), b.end(), 0);
        check(cases[1]);
        // Both byte orders, shown or copied, come out the same in yuv420p.
        std::vector<uint8_t> fromView(FrameConverter::frameBytes(100, 40));
        std::vector<uint8_t> fromCopy(fromView.size());
        b = quadrants(Format::RGBx, 300, 150, 1216, 32);
        const std::vector<uint8_t> bgr = quadrants(Format::BGRx, 300, 150, 1200, 0);
        PipeWirePicture copied;
        QVERIFY(scaled.show(bufferOf(b, Format::RGBx, 300, 150, 1216, 32)));
        QVERIFY(copied.take(bufferOf(bgr, Format::BGRx, 300, 150, 1200, 0)));
        PipeWireComposer composer({{0, 0, 300, 150}}, {100, 50, 100, 40}, 1.0, 100, 40);
        composer.toYuv420p({&scaled}, false, fromView.data());
        composer.toYuv420p({&copied}, false, fromCopy.data());
        QVERIFY(fromView == fromCopy);
    }

    void pointerDrawnIntoTheFrame()
    {
        // Black 64x32 stream cast at 2x (128x64 pixels); an opaque white 4x4 pointer with its hot
        // spot at 1,1 at pixel (41,21), i.e. its image from logical (20,10).
        const std::vector<uint8_t> black(128 * 4 * 64, 0);
        PipeWirePicture picture;
        QVERIFY(picture.take(bufferOf(black, Format::BGRx, 128, 64, 512, 0)));
        const std::vector<uint8_t> image(4 * 4 * 4, 0xFF);
        picture.setPointerImage(image.data(), Format::RGBA, 4, 4, 16);
        picture.movePointer(true, 41, 21, 1, 1);
        PipeWireComposer composer({{0, 0, 64, 32}}, {0, 0, 64, 32}, 1.0, 64, 32);
        std::vector<uint8_t> yuv(FrameConverter::frameBytes(64, 32));
        composer.toYuv420p({&picture}, true, yuv.data());
        const auto luma = [&](int x, int y) { return int(yuv[size_t(y) * 64 + x]); };
        QVERIFY(luma(20, 10) > 200);
        QVERIFY(luma(23, 13) > 200);
        QVERIFY(luma(19, 10) < 30);
        QVERIFY(luma(20, 14) < 30);
        QVERIFY(luma(5, 30) < 30);
        // Not asked for, or moved away: none.
        composer.toYuv420p({&picture}, false, yuv.data());
        QVERIFY(luma(20, 10) < 30);
        picture.movePointer(false, 0, 0, 0, 0);
        composer.toYuv420p({&picture}, true, yuv.data());
        QVERIFY(luma(20, 10) < 30);
    }
};

QTEST_APPLESS_MAIN(TestPipeWireFrames)
#include "pipewire_frames_test.moc"
