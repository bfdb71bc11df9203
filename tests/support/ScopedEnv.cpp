#include "ScopedEnv.h"

#include <QtGlobal>

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value) : name_(name)
{
    had_ = qEnvironmentVariableIsSet(name);
    previous_ = qgetenv(name);
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        qputenv(name_.constData(), previous_);
    else
        qunsetenv(name_.constData());
}
