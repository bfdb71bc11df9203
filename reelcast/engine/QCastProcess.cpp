#include "QCastProcess.h"

#include "PlatformScreenCast.h"

void QCastProcess::setupChildProcess()
{
    // In the child, between fork and exec.
    platform::inheritDescriptor(fd_);
}
