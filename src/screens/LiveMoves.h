#pragma once

#include "AnalyticsService.h"
#include "ScreenServices.h"

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <optional>

class Clock;

// The analytics tab's move total: the server's figure, or the baseline plus the moves the chair
// reported live since that baseline was taken, whichever is larger. Moves counted before the
// baseline are already in the server's figure, so only the growth since then is added; before
// any baseline the session's moves stand alone. When the day changes under "Today" the baseline
// is yesterday's and is taken again.
class LiveMoves : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ScreenServices* services READ services WRITE setServices NOTIFY servicesChanged)
    Q_PROPERTY(
        AnalyticsService* analytics READ analytics WRITE setAnalytics NOTIFY analyticsChanged)
    // QML numbers: Qt 6.4's QML tools know no 64-bit integer.
    Q_PROPERTY(
        double sessionMoves READ sessionMoves WRITE setSessionMoves NOTIFY sessionMovesChanged)
    Q_PROPERTY(double totalMoves READ totalMoves NOTIFY totalMovesChanged)

public:
    explicit LiveMoves(QObject* parent = nullptr); // takes its clock from services
    explicit LiveMoves(const Clock& clock, QObject* parent = nullptr);

    ScreenServices* services() const { return services_; }
    void setServices(ScreenServices* value);
    AnalyticsService* analytics() const { return analytics_; }
    void setAnalytics(AnalyticsService* value);
    qint64 sessionMoves() const { return sessionMoves_; }
    void setSessionMoves(qint64 value);
    qint64 totalMoves() const { return totalMoves_; }

Q_SIGNALS:
    void servicesChanged();
    void analyticsChanged();
    void sessionMovesChanged();
    void totalMovesChanged();

private:
    std::optional<QDate> today() const;
    void update();
    void retakeBaselineIfDayChanged();

    const Clock* clock = nullptr;
    QPointer<ScreenServices> services_;
    QPointer<AnalyticsService> analytics_;
    qint64 sessionMoves_ = 0;
    qint64 totalMoves_ = 0;

    // The moment the service's baseline was taken: session moves then, and the local date.
    bool isAnchored = false;
    qint64 sessionMovesAtBaseline = 0;
    QDate baselineDate;
    bool isRetakePending = false;
};
