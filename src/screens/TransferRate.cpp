#include "TransferRate.h"

#include "BluetoothManager.h"
#include "Clock.h"
#include "ScreenServices.h"
#include "SettingsText.h"

#include <algorithm>
#include <utility>
#include <vector>

using namespace std::chrono;

std::optional<TransferRate::Estimate> TransferRate::estimate(std::span<const Sample> samples,
                                                             int chunkSize)
{
    if (samples.size() < std::size_t(minimumChunks) + 1 || chunkSize <= 0)
        return std::nullopt;
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const milliseconds span = last.at - first.at;
    const double gained = last.progress - first.progress;
    if (span < minimumSpan || gained <= 0)
        return std::nullopt;
    const double seconds = duration<double>(span).count();
    const double chunks = double(samples.size() - 1);
    const double remaining = std::max(0.0, 1.0 - last.progress);
    return Estimate{chunks * chunkSize / seconds, remaining * seconds / gained};
}

TransferRate::TransferRate(QObject* parent)
    : QObject(parent)
{
}

void TransferRate::setServices(QObject* services)
{
    if (services_ == services)
        return;
    services_ = services;
    const auto* owner = qobject_cast<ScreenServices*>(services);
    clock = owner ? &owner->clock() : nullptr;
    restart();
    emit servicesChanged();
}

milliseconds TransferRate::now() const
{
    static const SystemClock system;
    const Clock& source = clock ? *clock : system;
    return milliseconds(source.now().toMSecsSinceEpoch());
}

void TransferRate::setState(const OTAState& state)
{
    if (state_ == state)
        return;
    const OTAState previous = std::exchange(state_, state);
    emit stateChanged();

    if (state.kind != OTAState::Kind::transferring) {
        restart();
        return;
    }
    // Another processor, or progress that went back, is another transfer.
    const bool continues = previous.kind == OTAState::Kind::transferring &&
                           previous.cpu == state.cpu && state.progress >= previous.progress;
    const milliseconds at = now();
    if (!continues || (!samples.empty() && at < samples.back().at))
        restart();
    samples.push_back({at, state.progress});
    while (samples.size() > std::size_t(windowChunks) + 1)
        samples.pop_front();
    const std::vector<Sample> window(samples.begin(), samples.end());
    setEstimate(state.progress < 1.0 ? estimate(window, BluetoothManager::otaChunkSize)
                                     : std::nullopt);
}

void TransferRate::restart()
{
    samples.clear();
    setEstimate(std::nullopt);
}

void TransferRate::setEstimate(std::optional<Estimate> estimate)
{
    const bool changed = estimate.has_value() != current.has_value() ||
                         (estimate && (estimate->bytesPerSecond != current->bytesPerSecond ||
                                       estimate->secondsLeft != current->secondsLeft));
    current = estimate;
    if (changed)
        emit estimateChanged();
}

QString TransferRate::text() const
{
    if (!current)
        return {};
    return SettingsText::transferRate(current->bytesPerSecond, current->secondsLeft);
}
