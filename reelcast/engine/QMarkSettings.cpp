#include "QMarkSettings.h"

#include "CGlobal.h"
#include "CSetting.h"
#include "QGlobalSettings.h"
#include "TaskPool.h"

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
    font.setPixelSize(qMax(1, QMarkSettings::getTextSize()));
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.height();
    if (width <= 0 || height <= 0)
        return;

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return;
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
    QImageReader reader(source);
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
    if (transparency == 0) {
        // The user's file as it is, whatever its format.
        QFile::remove(path);
        QFile::copy(source, path);
        return;
    }
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
    return CSetting::getInt(kMark, QStringLiteral("type"), NoMark);
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
    return CSetting::getInt(kText, QStringLiteral("size"), 36);
}

void QMarkSettings::setTextSize(int size)
{
    CSetting::setValue(kText, QStringLiteral("size"), QVariant(size));
    setDirty();
}

int QMarkSettings::getTextColor()
{
    return CSetting::getInt(kText, QStringLiteral("color"), Black);
}

void QMarkSettings::setTextColor(int color)
{
    CSetting::setValue(kText, QStringLiteral("color"), QVariant(color));
    setDirty();
}

int QMarkSettings::getTextPos()
{
    return CSetting::getInt(kText, QStringLiteral("pos"), TopRight);
}

void QMarkSettings::setTextPos(int pos)
{
    CSetting::setValue(kText, QStringLiteral("pos"), QVariant(pos));
    setDirty();
}

int QMarkSettings::getTextOpacity()
{
    return CSetting::getInt(kText, QStringLiteral("opacity"), 50);
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
    return CSetting::getInt(kImage, QStringLiteral("pos"), TopRight);
}

void QMarkSettings::setImagePos(int pos)
{
    CSetting::setValue(kImage, QStringLiteral("pos"), QVariant(pos));
    setDirty();
}

int QMarkSettings::getImageOpacity()
{
    return CSetting::getInt(kImage, QStringLiteral("opacity"), 50);
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
