#pragma once

#include "OtaState.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <deque>
#include <optional>
#include <span>

class Clock;

// Throughput and time left of the running image transfer, from the chunks the chair confirmed.
// Every transferring state after the first one of a transfer stands for one confirmed chunk
// (the next chunk goes out only on the confirmation of the previous one).
class TransferRate : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // Bind the manager's otaState here; every change is one sample.
    Q_PROPERTY(OTAState state READ state WRITE setState NOTIFY stateChanged)
    // Where "now" comes from (ScreenServices); the system clock without one.
    Q_PROPERTY(QObject* services READ services WRITE setServices NOTIFY servicesChanged)
    Q_PROPERTY(bool hasEstimate READ hasEstimate NOTIFY estimateChanged)
    Q_PROPERTY(QString text READ text NOTIFY estimateChanged)

public:
    struct Sample {
        std::chrono::milliseconds at;
        double progress; // 0 to 1
    };
    struct Estimate {
        double bytesPerSecond;
        double secondsLeft;
    };
    // Fewer chunks than this, or less time, give figures that jump about.
    static constexpr int minimumChunks = 8;
    static constexpr std::chrono::milliseconds minimumSpan{500};
    // The figures follow the most recent chunks, so a slowing link shows soon.
    static constexpr int windowChunks = 40;

    // The estimate over samples of one transfer, oldest first: the first sample is the
    // reference, each later one a confirmed chunk of chunkSize bytes.
    static std::optional<Estimate> estimate(std::span<const Sample> samples, int chunkSize);

    explicit TransferRate(QObject* parent = nullptr);

    OTAState state() const { return state_; }
    void setState(const OTAState& state);
    QObject* services() const { return services_; }
    void setServices(QObject* services);
    bool hasEstimate() const { return current.has_value(); }
    QString text() const;
    std::optional<Estimate> currentEstimate() const { return current; }

Q_SIGNALS:
    void stateChanged();
    void servicesChanged();
    void estimateChanged();

private:
    std::chrono::milliseconds now() const;
    void restart();
    void setEstimate(std::optional<Estimate> estimate);

    OTAState state_;
    QObject* services_ = nullptr;
    const Clock* clock = nullptr;
    std::deque<Sample> samples;
    std::optional<Estimate> current;
};
