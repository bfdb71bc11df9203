#include "QRecordLog.h"

#include "CGlobal.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringList>

#include <memory>

namespace {

const char kSeparator[] = "***************************************************\r\n";
const char kTerminator[] = "\r\n\r\n";
constexpr int kMaxSameSecond = 1000;

// The runs write from pool workers while the interface thread may create, close or discard;
// one lock keeps the current log from being replaced under a writer.
QMutex& logMutex()
{
    static QMutex mutex;
    return mutex;
}

std::unique_ptr<QRecordLog>& currentLog()
{
    static std::unique_ptr<QRecordLog> log;
    return log;
}

} // namespace

QRecordLog::QRecordLog() = default;

QRecordLog::~QRecordLog()
{
    closeFile();
}

QString QRecordLog::folder()
{
    return CGlobal::getAppDataPath() + QStringLiteral("ffmpeg");
}

void QRecordLog::create()
{
    std::unique_ptr<QRecordLog> log(new QRecordLog());
    const QString logFolder = folder();
    QDir().mkdir(logFolder);
    const QString stamp = logFolder + QDir::separator() +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss"));
    // A second recording within the same second gets a suffix: truncating the first log would
    // take away what that recording's failure message points to.
    for (int n = 1; n <= kMaxSameSecond; ++n) {
        log->fileName_ = stamp + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".log");
        log->file_.setFileName(log->fileName_);
        if (log->file_.open(QIODevice::WriteOnly | QIODevice::NewOnly) || !QFileInfo::exists(log->fileName_))
            break;
    }

    QMutexLocker lock(&logMutex());
    currentLog() = std::move(log);
}

void QRecordLog::writeBytes(const QByteArray& bytes)
{
    if (file_.isOpen() && !bytes.isEmpty())
        file_.write(bytes);
}

void QRecordLog::closeFile()
{
    if (file_.isOpen())
        file_.close();
}

void QRecordLog::beginRun()
{
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get())
        log->writeBytes(QByteArray(kSeparator));
}

QString QRecordLog::filtered(const QString& chunk)
{
    // "^" holds only at the start of the chunk and "." crosses line ends, so a chunk that begins
    // with a progress line loses everything up to its last carriage return.
    static const QRegularExpression progress(QStringLiteral("^frame=.*\\r"),
                                             QRegularExpression::DotMatchesEverythingOption);
    QString text = chunk;
    return text.remove(progress);
}

void QRecordLog::writeFiltered(const QString& text)
{
    const QByteArray bytes = filtered(text).toUtf8();
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get())
        log->writeBytes(bytes);
}

void QRecordLog::write(const QByteArray& bytes)
{
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get())
        log->writeBytes(bytes);
}

void QRecordLog::endRun()
{
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get()) {
        log->writeBytes(QByteArray(kTerminator));
        if (log->file_.isOpen())
            log->file_.flush();
    }
}

void QRecordLog::writeError(const QByteArray& output)
{
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get()) {
        log->writeBytes(QByteArray(kSeparator));
        log->writeBytes(output);
        log->writeBytes(QByteArray(kTerminator));
        if (log->file_.isOpen())
            log->file_.flush();
    }
}

void QRecordLog::writeFailure(const QString& cause, const QByteArray& output)
{
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + cause;
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get()) {
        log->writeBytes(QByteArray(kSeparator));
        log->writeBytes(output);
        if (!output.isEmpty() && !output.endsWith('\n'))
            log->writeBytes(QByteArrayLiteral("\r\n"));
        log->writeBytes(line.toUtf8() + "\r\n");
        log->writeBytes(QByteArray(kTerminator));
        if (log->file_.isOpen())
            log->file_.flush();
    }
}

QString QRecordLog::lastLines(const QByteArray& output, int count)
{
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]+"));
    const QStringList lines = QString::fromUtf8(output).split(lineEnd, Qt::SkipEmptyParts);
    QStringList last;
    for (int i = lines.size() - 1; i >= 0 && last.size() < count; --i) {
        const QString line = lines.at(i).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1String("frame=")) &&
            !line.startsWith(QLatin1String("size=")))
            last.prepend(QLatin1Char('"') + line + QLatin1Char('"'));
    }
    return last.isEmpty() ? QStringLiteral("nothing") : last.join(QStringLiteral(" | "));
}

void QRecordLog::close()
{
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get())
        log->closeFile();
}

void QRecordLog::discard()
{
    QMutexLocker lock(&logMutex());
    if (QRecordLog* log = currentLog().get()) {
        log->closeFile();
        if (!log->fileName_.isEmpty())
            QFile::remove(log->fileName_);
    }
}

QString QRecordLog::fileName()
{
    QMutexLocker lock(&logMutex());
    QRecordLog* log = currentLog().get();
    return log ? log->fileName_ : QString();
}

bool QRecordLog::isOpen()
{
    QMutexLocker lock(&logMutex());
    QRecordLog* log = currentLog().get();
    return log && log->file_.isOpen();
}
