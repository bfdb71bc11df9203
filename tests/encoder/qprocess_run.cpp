// Starts one command string exactly as the program starts the encoder, QProcess::start(command),
// so the tests see the arguments Qt's splitting delivers. Output goes straight through; what
// arrives on standard input is written to the process (the tests send "q\r\n" that way).
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        qWarning("usage: qprocess_run COMMAND");
        return 2;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     [&](int code, QProcess::ExitStatus status) {
                         app.exit(status == QProcess::NormalExit ? code : 128);
                     });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0)
            process.write(buffer, n);
        else
            input.setEnabled(false);
    });
    process.start(QString::fromLocal8Bit(argv[1]));
    if (!process.waitForStarted(30000))
        return 127;
    return app.exec();
}
