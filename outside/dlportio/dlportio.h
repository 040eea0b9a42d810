// "DLPortIO.dll": byte, word and double-word access to I/O ports, as the light controller
// binds it at run time by these twelve names. Here it drives the first parallel port.
//
// Hardware: writes to the registers of the first parallel port (0x378 data, 0x37A control;
// the status register 0x379 is read-only) reach the real port through Linux ppdev,
// /dev/parport0 (or the device that KAZ_PARPORT names), opened and claimed at the first
// such write and kept until the program ends; the claim is an ordinary, shared one, not
// tried while another program is active on the port. The user needs the `lp` group, not
// root. Without the device, without permission, or while another program or driver has
// the port (it is "busy"; nothing waits for it), a note goes once to standard error and the
// library carries on with the virtual port alone. Other ports have no hardware behind them.
//
// Virtual port: every byte written to any port is mirrored, whether or not the hardware
// took it, into the folder `<prefix>/port` (the platform's prefix, see win32/Prefix.h), so
// tests and tools can watch the lamps:
//   lpt1.log    one line per byte, in the order written by all programs of the prefix:
//                 "<monotonic_ns> <port> <byte>\n"
//               monotonic_ns: CLOCK_MONOTONIC in nanoseconds (the clock of the audio sinks),
//               decimal; port: 4 lower-case hex digits; byte: 2 lower-case hex digits.
//               Example: "81234567890123 0378 80". Lines are never split or interleaved.
//               Once the next write would take the file past kDlPortLogLimit bytes it is
//               renamed to lpt1.log.1 (replacing the older one) and a new lpt1.log begins,
//               so the two files together stay below twice the limit.
//   lpt1.state  the data register's current byte as 2 lower-case hex digits and "\n",
//               replaced atomically at every write to 0x378.
//   .lock       taken (flock) around every change of the two files.
// A word or double word is written as its bytes, lowest first, to consecutive ports, as
// the processor puts them on the bus; a buffer write puts each element on the same port.
//
// Reads: the data register answers its current byte from lpt1.state (the last byte any
// program wrote); any other port answers the last byte this process wrote to it, or 0xFF
// (an empty bus) when it wrote none.
//
// Every entry point may be called from any thread.
#pragma once

#include "win32/Types.h"

inline constexpr char kDlPortFolder[] = "port";  // below the prefix
inline constexpr char kDlPortLogName[] = "lpt1.log";
inline constexpr char kDlPortOldLogName[] = "lpt1.log.1";
inline constexpr char kDlPortStateName[] = "lpt1.state";
inline constexpr unsigned long kDlPortLogLimit = 1ul << 20;
inline constexpr char kDlPortDevice[] = "/dev/parport0";
inline constexpr char kDlPortDeviceVariable[] = "KAZ_PARPORT";

constexpr ULONG kLpt1Data = 0x378;
constexpr ULONG kLpt1Status = 0x379;
constexpr ULONG kLpt1Control = 0x37A;

extern "C" {

BYTE DlPortReadPortUchar(ULONG Port);
WORD DlPortReadPortUshort(ULONG Port);
ULONG DlPortReadPortUlong(ULONG Port);

void DlPortWritePortUchar(ULONG Port, BYTE Value);
void DlPortWritePortUshort(ULONG Port, WORD Value);
void DlPortWritePortUlong(ULONG Port, ULONG Value);

void DlPortReadPortBufferUchar(ULONG Port, BYTE* Buffer, ULONG Count);
void DlPortReadPortBufferUshort(ULONG Port, WORD* Buffer, ULONG Count);
void DlPortReadPortBufferUlong(ULONG Port, ULONG* Buffer, ULONG Count);

void DlPortWritePortBufferUchar(ULONG Port, const BYTE* Buffer, ULONG Count);
void DlPortWritePortBufferUshort(ULONG Port, const WORD* Buffer, ULONG Count);
void DlPortWritePortBufferUlong(ULONG Port, const ULONG* Buffer, ULONG Count);

}  // extern "C"
