// The two senders through which every command reaches a controller.
#ifndef LIBVEXA_X86_TRANSPORT_SENDERS_H
#define LIBVEXA_X86_TRANSPORT_SENDERS_H

#include <string>

#include "core/CBuffObj.h"
#include "transport/Settings.h"

class CSerialPort;

// Sends every frame of the list to the controller at `ip` (dotted IPv4) in
// the given network mode (2 stream, 3 login link, other datagram), reads one
// reply, judges it and returns a result code (0 accepted, 1 not accepted or
// nothing sent, 2 nothing received, 3 status "2", 4 status "3"). A list
// holding an invalid record, a null or malformed address: 1, nothing sent.
int SendBuffer_Net(FrameList frames, char* ip, int networkMode, const SendSettings& settings);

// Writes every frame of the list to the serial device `portName` through
// `port` (opening or reopening it as needed), reads one reply, judges it and
// returns a result code. The caller holds the port for the whole call.
int SendBuffer_Com(CSerialPort& port, FrameList frames, std::string portName, int baudRate,
                   const SendSettings& settings);

// "COM" followed by the port number in decimal: the device file opened,
// relative to the working directory.
std::string ComPortName(int portNumber);

// True when every frame of the list is a valid record; otherwise refuses,
// naming the first frame that did not fit, and returns false.
bool AllFramesFit(const FrameList& frames);

// True for a dotted-quad IPv4 address text.
bool IsDottedIPv4(const char* ip);

#endif  // LIBVEXA_X86_TRANSPORT_SENDERS_H
