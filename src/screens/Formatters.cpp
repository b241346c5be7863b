#include "Formatters.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Formatters {

double signalStrength(qint64 rssi)
{
    if (rssi == 0 || rssi == 127)
        return 0.0; // no reading
    const qint64 r = std::clamp<qint64>(rssi, -100, -30);
    return double(r + 100) / 70.0;
}

bool isBarLit(int index, int barCount, double strength)
{
    return barCount > 0 && double(index) / double(barCount) < strength;
}

QString signalDescription(int barCount, double strength)
{
    int lit = 0;
    for (int i = 0; i < barCount; ++i)
        lit += isBarLit(i, barCount, strength) ? 1 : 0;
    return QStringLiteral("Signal: %1 of %2 bars").arg(lit).arg(std::max(barCount, 0));
}

BarColor barColor(double strength)
{
    if (strength > 0.7)
        return BarColor::green;
    if (strength > 0.4)
        return BarColor::yellow;
    return BarColor::orange;
}

QString bannerTime(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    const qint64 minutes = seconds / 60;
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds - 60 * minutes, 2, 10,
                                                    QLatin1Char('0'));
}

QString bannerCountdown(qint64 seconds)
{
    return QStringLiteral("Returning to WiFi setup in %1").arg(bannerTime(seconds));
}

QString passwordCaption(const QString& ssid)
{
    return QStringLiteral("Password for \"%1\"").arg(ssid);
}

QString connectingTo(const QString& name)
{
    return QStringLiteral("Connecting to %1…").arg(name);
}

QString trimmedInput(const QString& text)
{
    return text.trimmed();
}

bool isValidEmail(const QString& email)
{
    const QString address = trimmedInput(email);
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    return at >= 0 && address.indexOf(QLatin1Char('.'), at + 1) > at;
}

LegalDocument legalDocument(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    LegalDocument document{root.value(QLatin1String("title")).toString(),
                           root.value(QLatin1String("version")).toString(),
                           {}};
    const QJsonArray sections = root.value(QLatin1String("sections")).toArray();
    for (qsizetype i = 0; i < sections.size(); ++i) {
        const QJsonObject section = sections.at(i).toObject();
        document.sections.append({QStringLiteral("%1. %2").arg(i + 1).arg(
                                      section.value(QLatin1String("heading")).toString()),
                                  section.value(QLatin1String("body")).toString()});
    }
    return document;
}

} // namespace Formatters

QVariant Format::legalDocument(const QUrl& source) const
{
    const QString path = source.scheme() == QLatin1String("qrc") ? QLatin1Char(':') + source.path()
                                                                 : source.toLocalFile();
    const Formatters::LegalDocument document = Formatters::legalDocument(path);
    QVariantList sections;
    for (const Formatters::LegalSection& section : document.sections)
        sections.append(QVariantMap{{QStringLiteral("heading"), section.heading},
                                    {QStringLiteral("body"), section.body}});
    return QVariantMap{{QStringLiteral("title"), document.title},
                       {QStringLiteral("version"), document.version},
                       {QStringLiteral("sections"), sections}};
}

QString Format::barColor(double strength) const
{
    switch (Formatters::barColor(strength)) {
    case Formatters::BarColor::green: return QStringLiteral("green");
    case Formatters::BarColor::yellow: return QStringLiteral("yellow");
    case Formatters::BarColor::orange: break;
    }
    return QStringLiteral("orange");
}
