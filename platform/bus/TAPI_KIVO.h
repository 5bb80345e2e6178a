#pragma once

#include <QtGlobal>

// The telephony client library: calls to org.kivo.Telephony on the session bus. Every call is
// synchronous with a 3000 ms time-out. A failed call returns the program's error code:
// 3 no reply in time, 4 invalid arguments, 5 not sent (no bus, no owner), 7 a reply of the
// wrong signature, 10 no memory, 1 any other error reply.

// The cell sticker request, packed to 5 bytes: the mode, then the ARFCN little-endian and
// unaligned, kept as two 16-bit halves (low half first) as the device writes it.
#pragma pack(push, 1)
struct StickerRequest {
    quint8 mode;
    quint16 arfcnLow;
    quint16 arfcnHigh;
};
#pragma pack(pop)
static_assert(sizeof(StickerRequest) == 5, "StickerRequest is 5 packed bytes");

// The ARFCN check record: the caller fills arfcn, the library fills verdict (0 acceptable,
// anything else a wrong ARFCN). Size 8, alignment 4.
struct ArfcnCheck {
    quint32 arfcn;
    quint8 verdict;
};
static_assert(sizeof(ArfcnCheck) == 8, "ArfcnCheck is 8 bytes");

// Registers this client for `count` event types; the result of Register (negative on failure,
// otherwise a handle for UTIL_TAPI_Device::SetClientHandle), or -1 when the call itself fails.
int TAPI_CLIENT_Init(const quint16 *eventTypes, int count);

// Sends the 5 bytes of *request; 0 when the service accepted it, otherwise an error code.
int TAPI_KIVO_SetCellStickerMode(const StickerRequest *request);

// Fills check->verdict from the service; a call that fails leaves it at 1 (wrong ARFCN).
// Returns 0 when the call went through, otherwise its error code.
int TAPI_KIVO_CheckArfcn(ArfcnCheck *check);

// mode 0 Normal, 1 Inverted, 2 Ignored; 0 when set, otherwise an error code.
int TAPI_KIVO_SetCellBarAccessMode(int mode);
