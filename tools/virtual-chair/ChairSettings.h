#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

// What every chair of one run shares: its surroundings and its timings.
struct ChairSettings {
    QStringList networks{QStringLiteral("Office_5G"), QStringLiteral("Home_Network"),
                         QStringLiteral("Cafe_WiFi")};
    QString wifiPassword{QStringLiteral("velnora-wifi")};
    QString onlineSsid; // empty: chairs start without WiFi configured
    std::chrono::milliseconds idleSleep{std::chrono::seconds(900)}; // zero: never sleeps
    std::chrono::milliseconds restartTime{std::chrono::seconds(3)};
    std::chrono::milliseconds motorDelay{600};
    std::chrono::milliseconds flashPerPage{20};
    QString firmwareRevision{QStringLiteral("2.4.1")};
    QString softwareRevision{QStringLiteral("1.8.0")};
};
