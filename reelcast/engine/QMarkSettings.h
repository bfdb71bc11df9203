#pragma once

#include "RecordTypes.h"

#include <QColor>
#include <QObject>
#include <QString>

// The persisted watermark options and the renderer of the watermark file ("mark.png" in the
// application-data folder) that the encoder overlays on every recording.
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

    // Main thread: posts render() to the worker pool when a watermark is chosen and either an
    // option changed since the last refresh or the file is missing. Never blocks.
    static void refresh();
    // Worker thread: writes the watermark file for the current options. The file is replaced
    // in one step, so an encoder starting meanwhile sees the old file or the new one, and a
    // picture that cannot be read leaves the previous file as it was.
    static void render();

private:
    QMarkSettings() = delete;
    static void setDirty();
};
