#include "FakeProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

FakeProgramFolder::FakeProgramFolder()
{
    valid_ = dir_.isValid() && install(QStringLiteral("zrk_video_capture.exe")) &&
             install(QStringLiteral("vcamera.exe"));
}

QString FakeProgramFolder::path() const
{
    return dir_.path() + QLatin1Char('/');
}

bool FakeProgramFolder::enter() const
{
    return QDir::setCurrent(dir_.path());
}

bool FakeProgramFolder::install(const QString& name) const
{
    const QString target = path() + name;
    QFile::remove(target);
    return QFile::copy(fakeEncoder(), target) &&
           QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool FakeProgramFolder::remove(const QString& name) const
{
    return QFile::remove(path() + name);
}

QString FakeProgramFolder::fakeEncoder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fake_encoder");
}
