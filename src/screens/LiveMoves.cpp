#include "LiveMoves.h"

#include "AnalyticsService.h"
#include "AnalyticsText.h"
#include "Clock.h"
#include "ScreenServices.h"

LiveMoves::LiveMoves(QObject* parent)
    : QObject(parent)
{
}

LiveMoves::LiveMoves(const Clock& clock, QObject* parent)
    : QObject(parent)
    , clock(&clock)
{
}

void LiveMoves::setServices(ScreenServices* value)
{
    if (services_ == value)
        return;
    services_ = value;
    if (value)
        clock = &value->clock();
    Q_EMIT servicesChanged();
    update();
}

void LiveMoves::setAnalytics(AnalyticsService* value)
{
    if (analytics_ == value)
        return;
    if (analytics_)
        analytics_->disconnect(this);
    analytics_ = value;
    isAnchored = false;
    if (value) {
        // Every refresh passes through isLoading, so a day change is noticed within one poll.
        for (auto changed :
             {&AnalyticsService::breakdownChanged, &AnalyticsService::orvBaselineMovesChanged,
              &AnalyticsService::isLoadingChanged, &AnalyticsService::selectedRangeChanged})
            connect(value, changed, this, &LiveMoves::update);
    }
    Q_EMIT analyticsChanged();
    update();
}

void LiveMoves::setSessionMoves(qint64 value)
{
    if (sessionMoves_ == value)
        return;
    sessionMoves_ = value;
    Q_EMIT sessionMovesChanged();
    update();
}

std::optional<QDate> LiveMoves::today() const
{
    if (!clock)
        return std::nullopt;
    return clock->now().toTimeZone(clock->timeZone()).date();
}

void LiveMoves::update()
{
    qint64 total = 0;
    if (analytics_) {
        if (!analytics_->orvBaselineSet()) {
            isAnchored = false;
        } else if (!isAnchored && !isRetakePending) {
            isAnchored = true;
            sessionMovesAtBaseline = sessionMoves_;
            baselineDate = today().value_or(QDate());
        }
        if (isAnchored && analytics_->selectedRange() == TimeRange::today && today() &&
            *today() != baselineDate && !isRetakePending) {
            // Queued: this runs inside the service's own refresh.
            isRetakePending = true;
            isAnchored = false;
            QMetaObject::invokeMethod(this, &LiveMoves::retakeBaselineIfDayChanged,
                                      Qt::QueuedConnection);
        }
        // With no baseline yet (no answer, or none that could be read) the moves counted
        // this session are all there is to show.
        const qint64 growth = isAnchored ? sessionMoves_ - sessionMovesAtBaseline : sessionMoves_;
        total = AnalyticsText::totalMoves(analytics_->breakdown().moveTotal(),
                                          isAnchored ? analytics_->orvBaselineMoves() : 0, growth);
    }
    if (total != totalMoves_) {
        totalMoves_ = total;
        Q_EMIT totalMovesChanged();
    }
}

void LiveMoves::retakeBaselineIfDayChanged()
{
    isRetakePending = false;
    // Choosing the range again clears the baseline; the next answer takes today's.
    if (analytics_ && analytics_->selectedRange() == TimeRange::today)
        analytics_->setSelectedRange(TimeRange::today);
    update();
}
