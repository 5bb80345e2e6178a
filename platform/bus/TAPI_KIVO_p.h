#pragma once

#include <QSet>
#include <QtGlobal>

// Inside the telephony client library: where the service lives, and what this process last
// registered for, shared by the calls and the device.

inline constexpr char tapiService[] = "org.kivo.Telephony";
inline constexpr char tapiPath[] = "/org/kivo/Telephony";
inline constexpr char tapiInterface[] = "org.kivo.Telephony";

// The event types of the last registration the service accepted; empty before one.
QSet<quint16> tapiRegisteredTypes();
