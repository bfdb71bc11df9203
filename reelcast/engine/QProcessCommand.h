#pragma once

#include <QIODevice>
#include <QString>

class QProcess;

// Command strings of the helper programs beside the program (the encoder, the camera preview)
// and how they are started: one string, program and arguments, split as QProcess splits it.
// Every process started here carries the child mark of platform::childMark().
class QProcessCommand
{
public:
    // The encoder's file name in the program folder.
    static const QString ENCODER;

    // The whole command running the program folder's encoder with `arguments`.
    static QString encoderCommand(const QString& arguments);
    // `text` in double quotes for a command string; a double quote inside survives the
    // command's splitting as part of the one argument.
    static QString quoted(const QString& text);
    // Starts `process` with a whole command string (program and arguments), split as
    // QProcess::start(command) splits it, which is what quoted() relies on.
    static void start(QProcess& process, const QString& command,
                      QIODevice::OpenMode mode = QIODevice::ReadWrite);
    // start(), then waits up to 30 s for the process to be running; whether it is.
    static bool startAndWait(QProcess& process, const QString& command);
    // Asks the program folder's encoders that a dead copy of the program left behind to end;
    // never an encoder of a running program. Does not wait.
    static void endStrayEncoders();

private:
    QProcessCommand() = delete;
};
