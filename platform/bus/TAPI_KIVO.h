#pragma once

#include "TAPI_KIVO_Types.h"

#include <QtGlobal>

#include <functional>

class QObject;

// The telephony client library: calls to org.kivo.Telephony on the session bus, each with a
// 3000 ms time-out. The requests wait for their answer; registration can also go out without
// waiting (TAPI_CLIENT_InitAsync). A failed request returns one of the error codes of
// TAPI_KIVO_Types.h, which also holds the records the calls take.

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
