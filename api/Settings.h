// The connection settings as the setters left them. They live with the
// setters (SKYREL.cpp); every send takes them once, at its start.
#ifndef LIBVEXA_X86_API_SETTINGS_H
#define LIBVEXA_X86_API_SETTINGS_H

#include "transport/Settings.h"

// The settings, read under the setters' lock.
SendSettings CurrentSettings();

#endif  // LIBVEXA_X86_API_SETTINGS_H
