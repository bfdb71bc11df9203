#pragma once

#include <QLoggingCategory>

// The program's diagnostic categories. Debug and info messages are off unless switched on, e.g.
// QT_LOGGING_RULES="reelcast.*.debug=true"; warnings are shown. One category per area.
Q_DECLARE_LOGGING_CATEGORY(lcEngine)  // reelcast.engine: recording runs, merge, save, worker pool
Q_DECLARE_LOGGING_CATEGORY(lcDevices) // reelcast.devices: device discovery and the encoder's listings
// reelcast.screencast: the desktop's screen cast and shortcut portals
Q_DECLARE_LOGGING_CATEGORY(lcScreenCast)
