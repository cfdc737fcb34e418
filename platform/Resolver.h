// IPv4 address texts and reverse host-name look-ups through the system's name service.
//
// Addresses are 32-bit values holding the four address bytes in network order, as inet_addr gives
// them. The resolver is process-wide and replaceable, so tests never reach the network.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/AnsiString.h"

// inet_addr's reading: one to four parts in decimal, octal or hexadecimal ("10.0.0.1", "0x7f.1").
// Anything else, the empty text and a text holding a NUL included, gives 0xFFFFFFFF.
uint32_t InetAddr(const AnsiString& text);

// True with the host's official name; false when the name service knows none. May block.
using THostResolver = std::function<bool(uint32_t address, AnsiString& name)>;
bool ResolveHostName(uint32_t address, AnsiString& name);

// Installs a resolver (an empty one brings the system's back); returns the one it replaced.
// Not synchronised: set it while no look-up runs.
THostResolver SetHostResolver(THostResolver resolver);
