#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary program folder in which the fake encoder (tests/fakeencoder) stands as
// zrk_video_capture.exe and as vcamera.exe. QPath::programFolder() is the working directory at
// its first call, so call enter() before anything asks for it. The fake's behaviour is set
// through its FAKE_ENCODER_* environment variables (see ScopedEnv), read at each start.
class FakeProgramFolder
{
public:
    FakeProgramFolder();

    bool isValid() const { return valid_; }
    // Ends with "/".
    QString path() const;
    // Makes this folder the working directory.
    bool enter() const;
    // Copies the fake encoder into the folder under `name`, replacing what is there.
    bool install(const QString& name) const;
    // Removes `name` from the folder, e.g. to make an encoder start fail.
    bool remove(const QString& name) const;

    // The built fake encoder, beside the test programs.
    static QString fakeEncoder();

private:
    QTemporaryDir dir_;
    bool valid_ = false;
};
