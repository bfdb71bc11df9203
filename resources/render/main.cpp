// Build-time tool: renders the artwork list's SVG sources into PNG files.
//
//   svgrender LIST SOURCE_DIR OUTPUT_DIR
//
// Each line of LIST reads "<app|skin> <output.png> <source.svg> [option ...]"; blank lines and
// lines starting with '#' are skipped. Options:
//   size=WxH           render at this size instead of the SVG's own width and height
//   rotate=DEG         turn the picture about its centre (spinner frames)
//   recolor=FROM:TO    replace a colour ("#C6C6C6", "transparent") in the SVG text before
//                      rendering: hover, pressed and off variants share one drawing
// The exit code is non-zero when any picture fails, so a broken SVG stops the build.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

namespace {

struct Job
{
    QString output;
    QString source;
    QSize size;
    qreal rotation = 0;
    QList<QPair<QByteArray, QByteArray>> recolors;
    int line = 0;
};

bool parseLine(const QString& text, int lineNo, Job* job, QString* error)
{
    const QStringList fields = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (fields.size() < 3) {
        *error = QStringLiteral("expected '<app|skin> <output> <source> [options]'");
        return false;
    }
    if (fields[0] != QLatin1String("app") && fields[0] != QLatin1String("skin")) {
        *error = QStringLiteral("unknown target '%1'").arg(fields[0]);
        return false;
    }
    job->output = fields[1];
    job->source = fields[2];
    job->line = lineNo;
    for (int i = 3; i < fields.size(); ++i) {
        const QString key = fields[i].section(QLatin1Char('='), 0, 0);
        const QString value = fields[i].section(QLatin1Char('='), 1);
        if (key == QLatin1String("size")) {
            const QStringList wh = value.split(QLatin1Char('x'));
            bool okW = false, okH = false;
            if (wh.size() == 2)
                job->size = QSize(wh[0].toInt(&okW), wh[1].toInt(&okH));
            if (!okW || !okH || job->size.isEmpty()) {
                *error = QStringLiteral("bad size '%1'").arg(value);
                return false;
            }
        } else if (key == QLatin1String("rotate")) {
            bool ok = false;
            job->rotation = value.toDouble(&ok);
            if (!ok) {
                *error = QStringLiteral("bad rotation '%1'").arg(value);
                return false;
            }
        } else if (key == QLatin1String("recolor")) {
            const QStringList pair = value.split(QLatin1Char(':'));
            if (pair.size() != 2 || pair[0].isEmpty() || pair[1].isEmpty()) {
                *error = QStringLiteral("bad recolor '%1'").arg(value);
                return false;
            }
            job->recolors.append({pair[0].toLatin1(), pair[1].toLatin1()});
        } else {
            *error = QStringLiteral("unknown option '%1'").arg(fields[i]);
            return false;
        }
    }
    return true;
}

bool render(const Job& job, const QDir& sourceDir, const QDir& outputDir, QString* error)
{
    QFile file(sourceDir.filePath(job.source));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(file.fileName());
        return false;
    }
    QByteArray svg = file.readAll();
    for (const auto& recolor : job.recolors) {
        // Colours are matched case-insensitively so the SVG may spell them either way.
        const QString pattern = QRegularExpression::escape(QString::fromLatin1(recolor.first));
        QString text = QString::fromUtf8(svg);
        const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
        if (!text.contains(re)) {
            *error = QStringLiteral("colour %1 not found in %2")
                         .arg(QString::fromLatin1(recolor.first), job.source);
            return false;
        }
        text.replace(re, QString::fromLatin1(recolor.second));
        svg = text.toUtf8();
    }
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        *error = QStringLiteral("invalid SVG %1").arg(job.source);
        return false;
    }
    const QSize size = job.size.isValid() ? job.size : renderer.defaultSize();
    if (size.isEmpty()) {
        *error = QStringLiteral("%1 has no size").arg(job.source);
        return false;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    if (!qFuzzyIsNull(job.rotation)) {
        painter.translate(size.width() / 2.0, size.height() / 2.0);
        painter.rotate(job.rotation);
        painter.translate(-size.width() / 2.0, -size.height() / 2.0);
    }
    renderer.render(&painter, QRectF(QPointF(0, 0), size));
    painter.end();

    const QString target = outputDir.filePath(job.output);
    QDir().mkpath(QFileInfo(target).absolutePath());
    // Write only when the pixels changed, so unchanged pictures do not trigger resource rebuilds.
    const QImage previous(target);
    if (!previous.isNull() && previous.convertToFormat(image.format()) == image)
        return true;
    if (!image.save(target, "PNG")) {
        *error = QStringLiteral("cannot write %1").arg(target);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: svgrender LIST SOURCE_DIR OUTPUT_DIR\n");
        return 2;
    }
    QFile list(args[1]);
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "svgrender: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    const QDir sourceDir(args[2]);
    const QDir outputDir(args[3]);
    int failures = 0;
    int lineNo = 0;
    QTextStream in(&list);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        Job job;
        QString error;
        if (!parseLine(line, lineNo, &job, &error) || !render(job, sourceDir, outputDir, &error)) {
            std::fprintf(stderr, "%s:%d: %s\n", qPrintable(args[1]), lineNo, qPrintable(error));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
