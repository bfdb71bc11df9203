#include "PlatformSession.h"

bool platform::waylandSession()
{
    return false;
}

void platform::chooseInterfacePlatform() {}
