#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// Every text and figure the screens derive from the link's values. Pure functions, so that the
// QML only lays out and binds.
namespace Formatters {

enum class BarColor { green, yellow, orange };

// Signal strength of a scan row, 0 (-100 dBm or weaker) to 1 (-30 dBm or stronger). An unknown
// RSSI (0, as Qt reports a missing value, or 127) is 0.
double signalStrength(qint64 rssi);
bool isBarLit(int index, int barCount, double strength);
// What a screen reader says of the bars: "Signal: {lit} of {barCount} bars".
QString signalDescription(int barCount, double strength);
BarColor barColor(double strength);
// The offline banner's "m:ss"; negative seconds show as 0:00.
QString bannerTime(qint64 seconds);
// "Returning to WiFi setup in m:ss".
QString bannerCountdown(qint64 seconds);
// The caption over the password field: Password for "{ssid}".
QString passwordCaption(const QString& ssid);
// The wait for the remembered chair: "Connecting to {name}…".
QString connectingTo(const QString& name);
// Trims white space and line breaks at both ends.
QString trimmedInput(const QString& text);
// Valid when the text after the first "@" of the trimmed address holds a ".".
bool isValidEmail(const QString& email);

// A legal document as the screens show it: its title, version line and numbered sections.
struct LegalSection {
    QString heading; // "{number}. {HEADING}"
    QString body;
};
struct LegalDocument {
    QString title;
    QString version;
    QList<LegalSection> sections;
};
// Reads one of the documents kept in the resources (or any JSON file of that shape); a file that
// cannot be read gives an empty document.
LegalDocument legalDocument(const QString& path);

} // namespace Formatters

// The formatters as QML sees them.
class Format : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;

    Q_INVOKABLE double signalStrength(qint64 rssi) const
    {
        return Formatters::signalStrength(rssi);
    }
    Q_INVOKABLE bool isBarLit(int index, int barCount, double strength) const
    {
        return Formatters::isBarLit(index, barCount, strength);
    }
    Q_INVOKABLE QString signalDescription(int barCount, double strength) const
    {
        return Formatters::signalDescription(barCount, strength);
    }
    // "green", "yellow" or "orange": the Theme colour of the lit bars.
    Q_INVOKABLE QString barColor(double strength) const;
    Q_INVOKABLE QString bannerTime(qint64 seconds) const { return Formatters::bannerTime(seconds); }
    Q_INVOKABLE QString bannerCountdown(qint64 seconds) const
    {
        return Formatters::bannerCountdown(seconds);
    }
    Q_INVOKABLE QString passwordCaption(const QString& ssid) const
    {
        return Formatters::passwordCaption(ssid);
    }
    Q_INVOKABLE QString connectingTo(const QString& name) const
    {
        return Formatters::connectingTo(name);
    }
    Q_INVOKABLE QString trimmed(const QString& text) const
    {
        return Formatters::trimmedInput(text);
    }
    Q_INVOKABLE bool isValidEmail(const QString& email) const
    {
        return Formatters::isValidEmail(email);
    }
    // {title, version, sections: [{heading, body}]} of a document under a qrc: or file URL; a
    // plain value to QML, which reads it as a JavaScript object.
    Q_INVOKABLE QVariant legalDocument(const QUrl& source) const;
};
