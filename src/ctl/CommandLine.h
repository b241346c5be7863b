#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// One command of velnora-ctl, checked before anything reaches the chair.
struct Action {
    enum class Kind {
        status,
        scan,
        connect,
        disconnect,
        leg,
        autoMode,
        pattern,
        period,
        strength,
        wake,
        wifiList,
        wifiJoin,
        update,
        watch,
    };
    enum class LegMove { toggle, up, down };

    Kind kind = Kind::status;
    QString chair;                            // --chair, or connect's argument
    std::chrono::milliseconds scanTime{5000}; // looking for the chair before a link
    bool json = false;
    QString side; // leg: "left" or "right"
    LegMove legMove = LegMove::toggle;
    bool on = false;    // auto
    uint number = 0;    // pattern, strength
    double minutes = 0; // period
    QString ssid;       // wifi join
    QString package;    // update: absolute path
};

// The outcome of reading the command line: an action to run, or text to print and an exit.
struct ParsedCommandLine {
    std::optional<Action> action;
    QString output;     // help or version, on standard output
    QString error;      // a usage error, on standard error
    int exitStatus = 0; // when there is no action
    bool verbose = false;
};

ParsedCommandLine parseCommandLine(const QStringList& arguments);
