#pragma once

#include <QtGlobal>

// The records and error codes of the telephony client library (TAPI_KIVO.h), apart from its
// calls, so that the headless core can fill a request and name an error without the bus.

// A failed request of the library returns one of these error codes.
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
