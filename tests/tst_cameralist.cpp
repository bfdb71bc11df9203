// The camera list that the program and the encoder adapter share, read from a folder laid out like
// /sys/class/video4linux with a stand-in for the capability query.
#include "PlatformDevices.h"
#include "ScopedEnv.h"
#include "linux/V4l2CameraList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <linux/videodev2.h>
#include <map>

namespace {

struct Node
{
    QString entry;
    QByteArray name; // null: no name file
    std::optional<std::uint32_t> caps;
};

} // namespace

Q_DECLARE_METATYPE(QList<Node>)

class TestCameraList : public QObject
{
    Q_OBJECT

    static QStringList listed(const QList<Node>& nodes, bool simulated, QStringList* paths = nullptr)
    {
        QTemporaryDir sysfs;
        std::map<std::string, std::optional<std::uint32_t>> caps;
        for (const Node& node : nodes) {
            QDir(sysfs.path()).mkpath(node.entry);
            if (!node.name.isNull()) {
                QFile name(sysfs.path() + "/" + node.entry + "/name");
                name.open(QIODevice::WriteOnly);
                name.write(node.name);
            }
            caps["/fake-dev/" + node.entry.toStdString()] = node.caps;
        }
        V4l2CameraList::Source source;
        source.sysfs = sysfs.path().toStdString();
        source.dev = "/fake-dev";
        source.simulated = simulated;
        source.capabilities = [&caps](const std::string& path) {
            const auto it = caps.find(path);
            return it == caps.end() ? std::nullopt : it->second;
        };
        QStringList names;
        for (const V4l2CameraList::Camera& camera : V4l2CameraList::cameras(source)) {
            names << QString::fromStdString(camera.name);
            if (paths)
                *paths << QString::fromStdString(camera.path);
        }
        return names;
    }

private slots:
    void listsReadableCamerasOnly_data()
    {
        const std::uint32_t capture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        QTest::addColumn<QList<Node>>("nodes");
        QTest::addColumn<bool>("simulated");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("metadata, multi-planar, output and unreadable nodes are no cameras")
            << QList<Node>{{"video0", "Integrated Camera\n", capture},
                           {"video1", "Integrated Camera\n", V4L2_CAP_META_CAPTURE},
                           {"video2", "USB-C Cam\n", V4L2_CAP_VIDEO_CAPTURE_MPLANE},
                           {"video3", "Encoder\n", V4L2_CAP_VIDEO_OUTPUT},
                           {"video4", "Busy Cam\n", std::nullopt},
                           {"video5", QByteArray(), capture},
                           {"video6", " \n", capture},
                           {"vbi0", "Tuner\n", capture},
                           {"v4l-subdev0", "Sensor\n", capture},
                           {"videoX", "Odd\n", capture}}
            << false << QStringList{"Integrated Camera"};
        QTest::newRow("node-number order, names trimmed")
            << QList<Node>{{"video10", "Ten\n", capture},
                           {"video9", "  Nine \n", capture},
                           {"video2", "Two", capture | V4L2_CAP_VIDEO_CAPTURE_MPLANE}}
            << false << QStringList{"Two", "Nine", "Ten"};
        QTest::newRow("repeated names get the first free number")
            << QList<Node>{{"video0", "Cam\n", capture},
                           {"video2", "Cam\n", capture},
                           {"video4", "Cam #2\n", capture},
                           {"video6", "Cam\n", capture}}
            << false << QStringList{"Cam", "Cam #3", "Cam #2", "Cam #4"};
        QTest::newRow("simulated camera first, a real one of its name renamed")
            << QList<Node>{{"video0", "Test Camera\n", capture}, {"video1", "USB Cam\n", capture}} << true
            << QStringList{"Test Camera", "Test Camera #2", "USB Cam"};
        QTest::newRow("no class folder entries") << QList<Node>{} << false << QStringList{};
    }

    void listsReadableCamerasOnly()
    {
        QFETCH(QList<Node>, nodes);
        QFETCH(bool, simulated);
        QFETCH(QStringList, expected);
        QCOMPARE(listed(nodes, simulated), expected);
    }

    // Each name leads to its own node; only the simulated camera has none.
    void namesMapToTheirNodes()
    {
        QStringList paths;
        const QStringList names =
            listed({{"video3", "Cam\n", V4L2_CAP_VIDEO_CAPTURE}, {"video1", "Cam\n", V4L2_CAP_VIDEO_CAPTURE}},
                   true, &paths);
        QCOMPARE(names, QStringList({"Test Camera", "Cam", "Cam #2"}));
        QCOMPARE(paths, QStringList({"", "/fake-dev/video1", "/fake-dev/video3"}));
    }

    // The machine's own list: the program offers exactly what the adapter lists.
    void programOffersTheSharedList()
    {
        ScopedEnv simulated("REELCAST_DEVICES", "simulated");
        QVERIFY(!V4l2CameraList::queryCapabilities("/nonexistent/video0"));
        std::vector<std::wstring> expected;
        for (const V4l2CameraList::Camera& camera : V4l2CameraList::cameras())
            expected.push_back(QString::fromStdString(camera.name).toStdWString());
        QCOMPARE(expected.front(), std::wstring(L"Test Camera"));
        QVERIFY(platform::videoInputDeviceNames() == expected);
    }
};

QTEST_MAIN(TestCameraList)
#include "tst_cameralist.moc"
