#pragma once

// Makes the link's, WiFi's and analytics' enumerations reachable from QML as
// Link.ConnectionState.ready, Wifi.WiFiStatus.connected and Analytics.TimeRange.week
// (import Velnora 1.0).
void registerVelnoraTypes();
