#pragma once

#include <QByteArray>

// Sets an environment variable for the lifetime of the object and restores the previous state.
// Child processes started meanwhile inherit the value.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray name_;
    QByteArray previous_;
    bool had_ = false;
};
