#pragma once

#include <QString>
#include <QStringList>

// A stand-in for the encoder program in a program folder: a shell script named like the
// encoder that records its arguments, prints a given device listing (or, for an option
// listing, a given frame-size listing) on standard error and then exits or hangs.
class FakeEncoder
{
public:
    enum Ending
    {
        Exits,
        Hangs
    };

    explicit FakeEncoder(const QString& programFolder);

    void install(const QString& deviceListing, const QString& optionListing = QString(),
                 Ending ending = Exits);
    void remove();
    // The arguments of the last run, as the program received them.
    QStringList lastArguments() const;

    QString programPath() const;

private:
    QString m_folder;
};
