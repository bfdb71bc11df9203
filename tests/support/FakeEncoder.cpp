#include "FakeEncoder.h"

#include <QDir>
#include <QFile>

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

} // namespace

FakeEncoder::FakeEncoder(const QString& programFolder) : m_folder(programFolder) {}

QString FakeEncoder::programPath() const
{
    return QDir(m_folder).filePath(QStringLiteral("zrk_video_capture.exe"));
}

void FakeEncoder::install(const QString& deviceListing, const QString& optionListing, Ending ending)
{
    const QDir dir(m_folder);
    writeFile(dir.filePath(QStringLiteral("fake_devices.txt")), deviceListing.toUtf8());
    writeFile(dir.filePath(QStringLiteral("fake_options.txt")), optionListing.toUtf8());
    QFile::remove(dir.filePath(QStringLiteral("fake_args.bin")));
    QByteArray script = "#!/bin/sh\n"
                        "here=$(dirname \"$0\")\n"
                        "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$here/fake_args.bin\"\n"
                        "listing=fake_devices.txt\n"
                        "for a in \"$@\"; do [ \"$a\" = -list_options ] && listing=fake_options.txt; done\n"
                        "cat \"$here/$listing\" >&2\n";
    script += ending == Hangs ? "exec sleep 600\n" : "exit 1\n";
    const QString path = programPath();
    writeFile(path, script);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void FakeEncoder::remove()
{
    QFile::remove(programPath());
}

QStringList FakeEncoder::lastArguments() const
{
    QFile f(QDir(m_folder).filePath(QStringLiteral("fake_args.bin")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList args;
    const QList<QByteArray> parts = f.readAll().split('\0');
    for (int i = 0; i + 1 < parts.size(); ++i)
        args << QString::fromUtf8(parts[i]);
    return args;
}
