#pragma once

#include "AnalyticsQuery.h"
#include "AnalyticsTypes.h"
#include "Scheduler.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>
#include <QVariant>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class QNetworkAccessManager;
class QNetworkReply;

// One chair's posture history from the cloud, refreshed on a timer while a screen shows it.
class AnalyticsService : public QObject {
    Q_OBJECT
    Q_PROPERTY(PostureBreakdown breakdown READ breakdown NOTIFY breakdownChanged)
    Q_PROPERTY(QVariant previousDayMoves READ previousDayMovesValue NOTIFY previousDayMovesChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QVariant errorMessage READ errorMessageValue NOTIFY errorMessageChanged)
    Q_PROPERTY(Analytics::TimeRange selectedRange READ selectedRange WRITE setSelectedRange NOTIFY
                   selectedRangeChanged)
    Q_PROPERTY(qint64 orvBaselineMoves READ orvBaselineMoves NOTIFY orvBaselineMovesChanged)
    Q_PROPERTY(QString chairSerial READ chairSerial WRITE setChairSerial NOTIFY chairSerialChanged)

public:
    static inline const QUrl defaultEndpoint{QStringLiteral("https://orv.velnora.app/api/graphql")};
    static inline const QByteArray apiKey =
        QByteArrayLiteral("5b0c7e21-93d4-4f6a-8c1e-2d7a90b4e3f8");
    static constexpr qint64 maxAnswerSize = 8 * 1024 * 1024;
    static constexpr std::chrono::milliseconds defaultTimeout{30000};

    struct Options {
        QUrl endpoint = defaultEndpoint;
        QList<QSslCertificate> extraCaCertificates; // tests trust their own server
        std::chrono::milliseconds timeout = defaultTimeout;
    };

    AnalyticsService(const Clock& clock, Scheduler& scheduler, QObject* parent = nullptr);
    AnalyticsService(const Clock& clock, Scheduler& scheduler, Options options,
                     QObject* parent = nullptr);
    ~AnalyticsService() override;

    PostureBreakdown breakdown() const { return breakdown_; }
    std::optional<qint64> previousDayMoves() const { return previousDayMoves_; }
    bool isLoading() const { return isLoading_; }
    std::optional<QString> errorMessage() const { return errorMessage_; }
    TimeRange selectedRange() const { return selectedRange_; }
    qint64 orvBaselineMoves() const { return orvBaselineMoves_; }
    bool orvBaselineSet() const { return orvBaselineSet_; }
    QString chairSerial() const { return chairSerial_; }

    // Every assignment restarts the figures, the fetch and the polling for the range.
    void setSelectedRange(TimeRange range);
    void setChairSerial(const QString& serial);

    Q_INVOKABLE void fetchAnalytics();
    Q_INVOKABLE void startPolling();
    Q_INVOKABLE void stopPolling();

    // The current window as instants: start of its first day to start of the day after today.
    std::pair<QDateTime, QDateTime> dateRange(TimeRange range) const;

Q_SIGNALS:
    void breakdownChanged();
    void previousDayMovesChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void selectedRangeChanged();
    void orvBaselineMovesChanged();
    void chairSerialChanged();

private:
    // Rows, or the reason the exchange failed.
    struct QueryResult {
        QJsonArray rows;
        std::optional<QString> error;
    };
    using Completion = void (AnalyticsService::*)(quint64 generation, const QueryResult&);

    // The screen asked for figures, or the poll came round.
    enum class RefreshKind { asked, poll };
    void refresh(RefreshKind kind);

    QVariant previousDayMovesValue() const;
    QVariant errorMessageValue() const;
    void postQuery(const QString& query, const QByteArray& timeZoneId, quint64 generation,
                   Completion completion);
    void finishReply(QNetworkReply* reply, quint64 generation, Completion completion,
                     const std::shared_ptr<QByteArray>& body,
                     const std::shared_ptr<bool>& tooLarge);
    void applyCurrentPeriod(quint64 generation, const QueryResult& result);
    void applyPreviousPeriod(quint64 generation, const QueryResult& result);

    void setBreakdown(const PostureBreakdown& value);
    void setPreviousDayMoves(std::optional<qint64> value);
    void setIsLoading(bool value);
    void setErrorMessage(const std::optional<QString>& value);
    void setOrvBaselineMoves(qint64 value);

    const Clock& clock;
    Scheduler& scheduler;
    Options options;
    QNetworkAccessManager* network;

    PostureBreakdown breakdown_;
    std::optional<qint64> previousDayMoves_;
    bool isLoading_ = false;
    std::optional<QString> errorMessage_;
    TimeRange selectedRange_ = TimeRange::today;
    qint64 orvBaselineMoves_ = 0;
    bool orvBaselineSet_ = false;
    QString chairSerial_;
    std::unique_ptr<ScheduledTimer> pollTimer;
    // Answers of a refresh older than the latest one (or of another range or chair) are stale.
    quint64 generation = 0;
};
