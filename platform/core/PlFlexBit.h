#pragma once

// Reads device feature flag `flag` from /etc/kivo/flexbits (under KIVO_ROOT): one FLAG=VALUE
// per line, both decimal, '#' starts a comment line. *byte receives the low 8 bits of VALUE.
// Returns 0 when the flag was found; a missing file or line gives *byte = 0 and -1.
int getFlexBit(int flag, unsigned char *byte);
