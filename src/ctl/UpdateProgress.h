#pragma once

#include <QHash>
#include <QString>
#include <QVariantMap>

#include <chrono>

// How far a firmware update got, for a reader: one line redrawn on a terminal, otherwise a
// line per state change and per tenth of the way.
class UpdateProgress {
public:
    using Clock = std::chrono::steady_clock;

    // imageSizes: bytes of each processor's image ("CPU1 (STM32)"), read from the package, so
    // that the rate is the chair's bytes and not a guess.
    UpdateProgress(QHash<QString, qint64> imageSizes, bool redraw);

    // The update's properties now; prints when a reader would see something new.
    void show(const QVariantMap& properties, Clock::time_point now = Clock::now());
    // Ends a redrawn line before anything else is printed.
    void end();

    // "CPU1 (STM32): sending 42%  11.8 KB/s  0:12 left", without rate until it is known.
    static QString transferText(const QString& processor, double progress,
                                std::optional<double> bytesPerSecond, qint64 imageSize);

private:
    QHash<QString, qint64> imageSizes;
    bool redraw;
    QString phase; // state and processor
    Clock::time_point phaseStart;
    double progressAtStart = 0;
    int tenths = -1;
    QString shown;
};
