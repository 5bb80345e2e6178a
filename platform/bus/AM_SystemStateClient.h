#pragma once

// The application manager's system-state client: posts client events as the broadcast D-Bus
// signal org.kivo.SystemState.ClientEvent(i event) on /org/kivo/SystemState.
namespace AM_SystemState {
enum CLIENT_EVENT {
    CLIENT_EVENT_FTS_ON = 30,
    CLIENT_EVENT_FTS_OFF = 31,
};
}

class AM_SystemStateClient {
public:
    static AM_SystemStateClient *instance();
    static void postClientEvent(AM_SystemState::CLIENT_EVENT event);

private:
    AM_SystemStateClient() = default;
};
