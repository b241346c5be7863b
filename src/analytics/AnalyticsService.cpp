#include "AnalyticsService.h"

#include "Clock.h"
#include "Observable.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

using namespace AnalyticsQuery;

AnalyticsService::AnalyticsService(const Clock& clock, Scheduler& scheduler, QObject* parent)
    : AnalyticsService(clock, scheduler, Options{}, parent)
{
}

AnalyticsService::AnalyticsService(const Clock& clock, Scheduler& scheduler, Options options,
                                   QObject* parent)
    : QObject(parent)
    , clock(clock)
    , scheduler(scheduler)
    , options(std::move(options))
    , network(new QNetworkAccessManager(this))
{
}

AnalyticsService::~AnalyticsService() = default;

std::pair<QDateTime, QDateTime> AnalyticsService::dateRange(TimeRange range) const
{
    const QTimeZone zone = clock.timeZone();
    const DateWindow window = AnalyticsQuery::dateRange(range, clock.now().toTimeZone(zone).date());
    return {window.from.startOfDay(zone), window.to.startOfDay(zone)};
}

void AnalyticsService::setSelectedRange(TimeRange range)
{
    if (selectedRange_ != range) {
        selectedRange_ = range;
        Q_EMIT selectedRangeChanged();
    }
    // The old range's figures must never show under the new range's label.
    ++generation;
    setOrvBaselineMoves(0);
    orvBaselineSet_ = false;
    setBreakdown({});
    setPreviousDayMoves(std::nullopt);
    stopPolling();
    fetchAnalytics();
    startPolling();
}

void AnalyticsService::setChairSerial(const QString& serial)
{
    if (serial == chairSerial_)
        return;
    chairSerial_ = serial;
    // Answers still on their way are another chair's.
    ++generation;
    setIsLoading(false);
    Q_EMIT chairSerialChanged();
}

void AnalyticsService::fetchAnalytics()
{
    refresh(RefreshKind::asked);
}

void AnalyticsService::refresh(RefreshKind kind)
{
    if (chairSerial_.isEmpty())
        return;
    const QTimeZone zone = clock.timeZone();
    const DateWindow current =
        AnalyticsQuery::dateRange(selectedRange_, clock.now().toTimeZone(zone).date());
    const DateWindow previous = previousWindow(current);
    QByteArray zoneId = zone.id();
    if (zoneId.isEmpty())
        zoneId = QByteArrayLiteral("UTC");

    const quint64 refresh = ++generation;
    setIsLoading(true);
    // A failure stays on screen while the poll tries again, until an answer replaces it.
    if (kind == RefreshKind::asked)
        setErrorMessage(std::nullopt);
    postQuery(buildQuery(chairSerial_, dateText(current.from), dateText(current.to)), zoneId,
              refresh, &AnalyticsService::applyCurrentPeriod);
    postQuery(buildQuery(chairSerial_, dateText(previous.from), dateText(previous.to)), zoneId,
              refresh, &AnalyticsService::applyPreviousPeriod);
}

void AnalyticsService::postQuery(const QString& query, const QByteArray& timeZoneId,
                                 quint64 refresh, Completion completion)
{
    const QUrl& url = options.endpoint;
    // The key goes nowhere but to a verified HTTPS endpoint.
    if (!url.isValid() || url.scheme() != QLatin1String("https")) {
        (this->*completion)(
            refresh,
            {{}, QStringLiteral("The analytics service address is not a secure (https) address.")});
        return;
    }
    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/json;charset=UTF-8");
    request.setRawHeader("API-KEY", apiKey);
    request.setRawHeader("Time-Zone", timeZoneId);
    request.setTransferTimeout(static_cast<int>(options.timeout.count()));
    // A redirect would carry the key elsewhere: it is an answer like any other non-2xx.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!options.extraCaCertificates.isEmpty())
        tls.addCaCertificates(options.extraCaCertificates);
    request.setSslConfiguration(tls);

    QNetworkReply* reply = network->post(request, requestBody(query));
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    QObject::connect(reply, &QIODevice::readyRead, this, [reply, body, tooLarge] {
        if (*tooLarge)
            return;
        *body += reply->readAll();
        if (body->size() > maxAnswerSize) {
            *tooLarge = true;
            body->clear();
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, this,
                     [this, reply, refresh, completion, body, tooLarge] {
                         finishReply(reply, refresh, completion, body, tooLarge);
                     });
}

void AnalyticsService::finishReply(QNetworkReply* reply, quint64 refresh, Completion completion,
                                   const std::shared_ptr<QByteArray>& body,
                                   const std::shared_ptr<bool>& tooLarge)
{
    reply->deleteLater();
    if (!*tooLarge && reply->isOpen())
        *body += reply->readAll();
    QueryResult result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (*tooLarge || body->size() > maxAnswerSize) {
        result.error = QStringLiteral("The analytics service sent more data than expected.");
    } else if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        result.error = QStringLiteral("Analytics service error (HTTP %1)").arg(status.toInt());
    } else if (reply->error() == QNetworkReply::OperationCanceledError ||
               reply->error() == QNetworkReply::TimeoutError) {
        result.error = QStringLiteral("The analytics service did not answer in time.");
    } else if (reply->error() != QNetworkReply::NoError) {
        result.error = reply->errorString();
    } else {
        result.rows = parseUsageRows(*body);
    }
    (this->*completion)(refresh, result);
}

void AnalyticsService::applyCurrentPeriod(quint64 refresh, const QueryResult& result)
{
    if (refresh != generation)
        return; // a newer refresh, range or chair has taken over
    setErrorMessage(result.error);
    if (!result.error) {
        const PostureBreakdown b = aggregateBreakdown(result.rows);
        if (!orvBaselineSet_) {
            setOrvBaselineMoves(b.moveTotal());
            orvBaselineSet_ = true;
        }
        setBreakdown(b);
    }
    setIsLoading(false);
}

void AnalyticsService::applyPreviousPeriod(quint64 refresh, const QueryResult& result)
{
    if (refresh != generation)
        return;
    if (result.error)
        setPreviousDayMoves(std::nullopt);
    else
        setPreviousDayMoves(aggregateBreakdown(result.rows).moveTotal());
}

void AnalyticsService::startPolling()
{
    stopPolling();
    pollTimer = scheduler.start(Analytics::pollInterval(selectedRange_), false, [this] {
        // A slow answer is waited for rather than dropped: a service slower than the poll
        // (or dead, until the time-out) would otherwise never show figures or a failure.
        if (!isLoading_)
            refresh(RefreshKind::poll);
        startPolling();
    });
}

void AnalyticsService::stopPolling()
{
    pollTimer.reset();
}

QVariant AnalyticsService::previousDayMovesValue() const
{
    return optionalToVariant(previousDayMoves_);
}

QVariant AnalyticsService::errorMessageValue() const
{
    return optionalToVariant(errorMessage_);
}

void AnalyticsService::setBreakdown(const PostureBreakdown& value)
{
    assignObservable(this, breakdown_, value, &AnalyticsService::breakdownChanged);
}

void AnalyticsService::setPreviousDayMoves(std::optional<qint64> value)
{
    assignObservable(this, previousDayMoves_, value, &AnalyticsService::previousDayMovesChanged);
}

void AnalyticsService::setIsLoading(bool value)
{
    assignObservable(this, isLoading_, value, &AnalyticsService::isLoadingChanged);
}

void AnalyticsService::setErrorMessage(const std::optional<QString>& value)
{
    assignObservable(this, errorMessage_, value, &AnalyticsService::errorMessageChanged);
}

void AnalyticsService::setOrvBaselineMoves(qint64 value)
{
    assignObservable(this, orvBaselineMoves_, value, &AnalyticsService::orvBaselineMovesChanged);
}
