#include "QMarkSettings.h"

#include "CGlobal.h"
#include "CSetting.h"
#include "QGlobalSettings.h"
#include "TaskPool.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QSaveFile>

namespace {

const QString kMark = QStringLiteral("mark");
const QString kText = QStringLiteral("mark_text");
const QString kImage = QStringLiteral("mark_image");

// A watermark is a small overlay. A picture beyond this many pixels (256 MiB once decoded, and
// as much again for the drawn copy) counts as one that cannot be loaded.
const qint64 kMaxPicturePixels = 64LL * 1024 * 1024;

// A picture file beyond this size is not read at all: a watermark is small, and a device or a
// FIFO under a picture's name must not be read for ever.
const qint64 kMaxPictureBytes = 64LL * 1024 * 1024;

// The font sizes a text mark can have (what the settings dialog takes); outside them the
// default. A text larger than a picture may be counts as one that cannot be drawn.
const int kDefaultTextSize = 36;
const int kMaxTextSize = 9999;

// A stored value within [low, high], otherwise `fallback`.
int inRange(int value, int low, int high, int fallback)
{
    return value >= low && value <= high ? value : fallback;
}

// Only the interface thread touches it.
bool g_dirty = false;

// Two renders posted close together may run on two workers; they must not interleave.
QMutex& renderMutex()
{
    static QMutex m;
    return m;
}

bool saveAtomically(const QImage& image, const QString& path)
{
    if (image.isNull())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void renderText(const QString& path)
{
    const QString text = QMarkSettings::getText();
    if (text.isEmpty()) {
        // An emptied text means no mark; leaving the old file would burn in the old text.
        QFile::remove(path);
        return;
    }
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPixelSize(QMarkSettings::getTextSize());
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.height();
    QImage image;
    if (width > 0 && height > 0 && qint64(width) * height <= kMaxPicturePixels)
        image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        // A text that cannot be drawn is no mark at all, never the previous text burnt in.
        QFile::remove(path);
        return;
    }
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        // The text's transparency applies like the picture's: 0 opaque, 100 invisible.
        painter.setOpacity((100 - QMarkSettings::getTextOpacity()) / 100.0);
        painter.setPen(QMarkSettings::colorOf(QMarkSettings::getTextColor()));
        painter.setFont(font);
        painter.drawText(QRect(0, 0, width, height), Qt::AlignCenter, text);
    }
    saveAtomically(image, path);
}

QImage loadPicture(const QString& source)
{
    // Only a regular file of a watermark's size is read, into memory, and decoded from there.
    if (!QMarkSettings::isPictureFile(source))
        return QImage();
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    QByteArray data = file.read(kMaxPictureBytes + 1);
    if (data.size() > kMaxPictureBytes)
        return QImage();
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    // Judged from the header alone, so a huge (or lying) file is never decoded.
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPicturePixels)
        return QImage();
    return reader.read();
}

void renderImage(const QString& path)
{
    const QString source = QMarkSettings::getImage();
    const int transparency = QMarkSettings::getImageOpacity();
    // Always decoded and written as PNG by us, also at transparency 0: the encoder then only
    // ever reads a picture of our making.
    const QImage picture = loadPicture(source);
    if (picture.isNull())
        return;
    QImage image(picture.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return;
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setOpacity((100 - transparency) / 100.0);
        painter.drawImage(0, 0, picture);
    }
    saveAtomically(image, path);
}

} // namespace

int QMarkSettings::getType()
{
    return inRange(CSetting::getInt(kMark, QStringLiteral("type"), NoMark), NoMark, TextMark, NoMark);
}

void QMarkSettings::setType(int type)
{
    CSetting::setValue(kMark, QStringLiteral("type"), QVariant(type));
    setDirty();
}

QString QMarkSettings::getText()
{
    return CSetting::getString(kText, QStringLiteral("text"), QGlobalSettings::appName());
}

void QMarkSettings::setText(const QString& text)
{
    CSetting::setValue(kText, QStringLiteral("text"), QVariant(text));
    setDirty();
}

int QMarkSettings::getTextSize()
{
    return inRange(CSetting::getInt(kText, QStringLiteral("size"), kDefaultTextSize), 1, kMaxTextSize,
                   kDefaultTextSize);
}

void QMarkSettings::setTextSize(int size)
{
    CSetting::setValue(kText, QStringLiteral("size"), QVariant(size));
    setDirty();
}

int QMarkSettings::getTextColor()
{
    return inRange(CSetting::getInt(kText, QStringLiteral("color"), Black), Black, Blue, Black);
}

void QMarkSettings::setTextColor(int color)
{
    CSetting::setValue(kText, QStringLiteral("color"), QVariant(color));
    setDirty();
}

int QMarkSettings::getTextPos()
{
    return inRange(CSetting::getInt(kText, QStringLiteral("pos"), TopRight), TopLeft, BottomRight, TopRight);
}

void QMarkSettings::setTextPos(int pos)
{
    CSetting::setValue(kText, QStringLiteral("pos"), QVariant(pos));
    setDirty();
}

int QMarkSettings::getTextOpacity()
{
    return inRange(CSetting::getInt(kText, QStringLiteral("opacity"), 50), 0, 100, 50);
}

void QMarkSettings::setTextOpacity(int opacity)
{
    CSetting::setValue(kText, QStringLiteral("opacity"), QVariant(opacity));
    setDirty();
}

QString QMarkSettings::getImage()
{
    return CSetting::getString(kImage, QStringLiteral("image"), QString());
}

void QMarkSettings::setImage(const QString& path)
{
    CSetting::setValue(kImage, QStringLiteral("image"), QVariant(path));
    setDirty();
}

int QMarkSettings::getImagePos()
{
    return inRange(CSetting::getInt(kImage, QStringLiteral("pos"), TopRight), TopLeft, BottomRight, TopRight);
}

void QMarkSettings::setImagePos(int pos)
{
    CSetting::setValue(kImage, QStringLiteral("pos"), QVariant(pos));
    setDirty();
}

int QMarkSettings::getImageOpacity()
{
    return inRange(CSetting::getInt(kImage, QStringLiteral("opacity"), 50), 0, 100, 50);
}

void QMarkSettings::setImageOpacity(int opacity)
{
    CSetting::setValue(kImage, QStringLiteral("opacity"), QVariant(opacity));
    setDirty();
}

QColor QMarkSettings::colorOf(int color)
{
    switch (color) {
    case Black:
        return Qt::black;
    case White:
        return Qt::white;
    case Red:
        return Qt::red;
    case Yellow:
        return Qt::yellow;
    case Green:
        return Qt::green;
    case Blue:
        return Qt::blue;
    default:
        return QColor();
    }
}

QString QMarkSettings::markFile()
{
    return QStringLiteral("%1mark.png").arg(CGlobal::getAppDataPath());
}

bool QMarkSettings::isPictureFile(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.size() <= kMaxPictureBytes;
}

void QMarkSettings::setDirty()
{
    g_dirty = true;
}

void QMarkSettings::refresh()
{
    if (getType() != NoMark && (g_dirty || !QFileInfo::exists(markFile())))
        TaskPool::instance()->post(&QMarkSettings::render);
    g_dirty = false;
}

void QMarkSettings::render()
{
    QMutexLocker lock(&renderMutex());
    const QString path = markFile();
    switch (getType()) {
    case TextMark:
        renderText(path);
        break;
    case ImageMark:
        renderImage(path);
        break;
    default:
        break;
    }
}
