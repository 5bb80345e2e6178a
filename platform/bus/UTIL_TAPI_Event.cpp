#include "UTIL_TAPI_Event.h"

UTIL_TAPI_Event::UTIL_TAPI_Event(quint16 type, const QByteArray &rawData)
    : m_type(type), m_rawData(rawData)
{
}

quint16 UTIL_TAPI_Event::GetType() const
{
    return m_type;
}

const unsigned char *UTIL_TAPI_Event::GetRawData() const
{
    if (m_rawData.isEmpty()) {
        return nullptr;
    }
    return reinterpret_cast<const unsigned char *>(m_rawData.constData());
}

int UTIL_TAPI_Event::GetRawDataLength() const
{
    return static_cast<int>(m_rawData.size());
}
