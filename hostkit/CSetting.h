#pragma once

#include "HostkitGlobal.h"

#include <QString>
#include <QVariant>

// The per-user settings store. Every read goes to the file and every write is flushed at
// once, so values are shared with other processes of the same user immediately.
class HOSTKIT_EXPORT CSetting
{
public:
    static int getInt(const QString& group, const QString& key, int defaultValue);
    static QString getString(const QString& group, const QString& key, QString defaultValue);
    static void setValue(const QString& group, const QString& key, const QVariant& value);
};
