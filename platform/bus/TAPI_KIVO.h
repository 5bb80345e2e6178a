#pragma once

#include <QtGlobal>

#include <functional>

class QObject;

// The telephony client library: calls to org.kivo.Telephony on the session bus, each with a
// 3000 ms time-out. The requests wait for their answer; registration can also go out without
// waiting (TAPI_CLIENT_InitAsync). A failed request returns one of these error codes.
enum TapiErrorCode : int {
    TapiRequestFailed = 1,      // any other error reply
    TapiTimeout = 3,            // no reply in time
    TapiInvalidParameter = 4,   // invalid arguments
    TapiSendmsgError = 5,       // not sent: no bus, no owner
    TapiSendPrimitiveError = 6, // not given by this library; the program knows its text
    TapiReceivemsgError = 7,    // a reply of the wrong signature
    TapiNoMemory = 10,          // the bus ran out of memory
};

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

// The same Register call without waiting for its answer: `done` is later called, on the
// thread of `context`, with what TAPI_CLIENT_Init would have returned. Once `context` is
// deleted, `done` is never called.
void TAPI_CLIENT_InitAsync(const quint16 *eventTypes, int count, QObject *context,
                           const std::function<void(int)> &done);

// Sends the 5 bytes of *request; 0 when the service accepted it, otherwise an error code.
int TAPI_KIVO_SetCellStickerMode(const StickerRequest *request);

// Fills check->verdict from the service; a call that fails leaves it at 1 (wrong ARFCN).
// Returns 0 when the call went through, otherwise its error code.
int TAPI_KIVO_CheckArfcn(ArfcnCheck *check);

// mode 0 Normal, 1 Inverted, 2 Ignored; 0 when set, otherwise an error code.
int TAPI_KIVO_SetCellBarAccessMode(int mode);
