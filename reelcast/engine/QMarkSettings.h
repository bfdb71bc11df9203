#pragma once

#include "RecordTypes.h"

#include <QColor>
#include <QObject>
#include <QString>

// The persisted watermark options and the renderer of the watermark file ("mark.png" in the
// application-data folder) that the encoder overlays on every recording.
// The getters validate what they read: a stored type, colour, position, size or transparency
// out of range reads as its default, so that no caller builds an overlay from garbage.
class QMarkSettings : public QObject
{
    Q_OBJECT
public:
    static int getType();
    static void setType(int type);
    static QString getText();
    static void setText(const QString& text);
    static int getTextSize();
    static void setTextSize(int size);
    static int getTextColor();
    static void setTextColor(int color);
    static int getTextPos();
    static void setTextPos(int pos);
    static int getTextOpacity();
    static void setTextOpacity(int opacity);
    static QString getImage();
    static void setImage(const QString& path);
    static int getImagePos();
    static void setImagePos(int pos);
    static int getImageOpacity();
    static void setImageOpacity(int opacity);

    // The colour of a MarkColor index; an invalid colour for any other index.
    static QColor colorOf(int color);
    // The watermark file: application-data folder + "mark.png".
    static QString markFile();
    // Whether `path` may be read as a watermark picture: a regular file (a FIFO or a device
    // could be read for ever) within the size a watermark can have.
    static bool isPictureFile(const QString& path);

    // Main thread: posts render() to the worker pool when a watermark is chosen and either an
    // option changed since the last refresh or the file is missing. Never blocks.
    static void refresh();
    // Worker thread: writes the watermark file for the current options, always a PNG of our
    // making (a picture is decoded from a regular file within the size cap, also at
    // transparency 0). The file is replaced in one step, so an encoder starting meanwhile sees
    // the old file or the new one; a picture that cannot be read leaves the previous file as it
    // was, a text that cannot be drawn removes it.
    static void render();

private:
    QMarkSettings() = delete;
    static void setDirty();
};
