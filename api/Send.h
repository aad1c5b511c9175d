// How the entry points reach the controllers: the connection settings are
// taken once, at the start of a call, and the one serial port is held for
// the whole of a serial transmission.
#ifndef LIBVEXA_X86_API_SEND_H
#define LIBVEXA_X86_API_SEND_H

#include "core/CBuffObj.h"
#include "transport/Settings.h"

// Sends to the controller at `ip` in `networkMode` with these settings.
int SendToController(FrameList frames, char* ip, int networkMode, const SendSettings& settings);
// The same with the current settings.
int SendToController(FrameList frames, char* ip, int networkMode);

// Writes to serial port `portNumber` (the device COM<n>) at `baudRate` with
// the current settings, holding the port for the whole transmission.
int SendOnSerial(FrameList frames, int portNumber, int baudRate);

#endif  // LIBVEXA_X86_API_SEND_H
