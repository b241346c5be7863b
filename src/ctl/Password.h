#pragma once

#include <QString>

#include <optional>

// The WiFi password: asked for without echo on a terminal, else the first line of standard
// input. Nothing when the user interrupted or standard input was empty.
std::optional<QString> readWifiPassword(const QString& ssid);
