#pragma once
// The Win32 serial port's pure parts, apart so that tests can check them.
#include <windows.h>

#include "platform/serial_port.h"

namespace talvek {

namespace platform {

// Applies the line settings of one interface type to a settings block read
// from the port: speed, 8 data bits, one stop bit, parity generated but never
// checked, no flow control of any kind, RTS off, DTR and abort-on-error as
// asked.  Fields not named stay as the port had them.
void fillDeviceControlBlock(DCB& dcb, const SerialSettings& s);

// Total time-outs only: a read waits for all its bytes or the constant.
void fillTimeouts(COMMTIMEOUTS& t, uint32_t readTimeoutMs, uint32_t writeTimeoutMs);

// The events a transmit wait (drain) ends on: the output queue is empty.
constexpr DWORD TransmitWaitEvents = EV_TXEMPTY;
// The sizes the driver's queues are given, as the interfaces always had them.
constexpr DWORD InQueueBytes = 32640;
constexpr DWORD OutQueueBytes = 1280;

}  // namespace platform

}  // namespace talvek
