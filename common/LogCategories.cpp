#include "LogCategories.h"

Q_LOGGING_CATEGORY(lcEngine, "reelcast.engine", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDevices, "reelcast.devices", QtWarningMsg)
Q_LOGGING_CATEGORY(lcScreenCast, "reelcast.screencast", QtWarningMsg)
