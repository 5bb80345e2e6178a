#pragma once

#include <QByteArray>
#include <QtGlobal>

// One telephony event as the service sent it: its type and its raw data, laid out as in
// memory on the device (little-endian). Made by UTIL_TAPI_Device, valid until the receivers
// of TAPI_SendEvent return.
class UTIL_TAPI_Event {
public:
    UTIL_TAPI_Event(quint16 type, const QByteArray &rawData);

    quint16 GetType() const;
    // Null when the event carries no data.
    const unsigned char *GetRawData() const;
    int GetRawDataLength() const;

private:
    quint16 m_type;
    QByteArray m_rawData;
};
