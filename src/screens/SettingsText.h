#pragma once

#include "LinkTypes.h"
#include "OtaState.h"

#include <QLocale>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

// Every text the settings tab derives from the chair's values. Pure functions, so the QML only
// lays out and binds.
namespace SettingsText {

// What the update card shows for a state of the update.
enum class UpdateArea { picker, spinner, progressBar, success, error };

// "{n}%" with n cut towards zero; values outside 0 to 100 are clamped, an unknown value is 0%.
QString percent(double value);
// The share of an update as "{n}%", where progress runs from 0 to 1.
QString progressPercent(double progress);
// The serial number, or "—" while the chair has not told it.
QString serialNumber(const QString& serial);
// "{n} moves" with the locale's digit grouping, or "—" without a count.
QString lifetimeMoves(std::optional<qint64> moves, const QLocale& locale = QLocale());
// "{software} / {firmware}", the software version alone while the firmware version is unknown,
// or "--" without a software version.
QString currentVersion(const QString& softwareVersion, const QString& firmwareVersion);
QString wifiStatus(WiFiStatus status);
// The Network row is shown only for a connected chair that named its network.
bool showsNetwork(WiFiStatus status, const QString& ssid);
// The slider's position as a strength: the nearest whole number, halves away from zero.
double strengthFromSlider(double value);

UpdateArea updateArea(const OTAState& state);
// The line under the spinner or on the bar, the success sentence or the error message.
QString updateStatus(const OTAState& state);
// The bold figure below a bar: "{p}%" or "Page {page} / {totalPages}"; empty elsewhere.
QString updateDetail(const OTAState& state);
// Where the bar stands, 0 to 1.
double updateFraction(const OTAState& state);

// A picked package the update cannot read: the description to show, or nothing when the file
// can be handed to the update.
std::optional<QString> pickerProblem(const QUrl& file);
// The file panel could not be shown at all.
QString pickerUnavailable();

// "{n} KB/s" (one decimal below 10 KB/s; 1 KB is 1000 bytes).
QString throughput(double bytesPerSecond, const QLocale& locale = QLocale());
// "{s} s left" under a minute, "{m}:{ss} left" after; seconds are rounded up.
QString timeLeft(double seconds);
// "{throughput} · {time left}".
QString transferRate(double bytesPerSecond, double secondsLeft, const QLocale& locale = QLocale());

} // namespace SettingsText

// The settings texts as QML sees them.
class SettingsTextFormat : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(SettingsText)
    QML_SINGLETON
public:
    using QObject::QObject;

    Q_INVOKABLE QString percent(double value) const { return SettingsText::percent(value); }
    Q_INVOKABLE QString serialNumber(const QString& serial) const
    {
        return SettingsText::serialNumber(serial);
    }
    // moves is the manager's lifetimeMoves: a number, or undefined/null for none.
    Q_INVOKABLE QString lifetimeMoves(const QVariant& moves) const;
    Q_INVOKABLE QString currentVersion(const QString& software, const QString& firmware) const
    {
        return SettingsText::currentVersion(software, firmware);
    }
    Q_INVOKABLE QString wifiStatus(int status) const
    {
        return SettingsText::wifiStatus(static_cast<WiFiStatus>(status));
    }
    Q_INVOKABLE bool showsNetwork(int status, const QString& ssid) const
    {
        return SettingsText::showsNetwork(static_cast<WiFiStatus>(status), ssid);
    }
    Q_INVOKABLE double strengthFromSlider(double value) const
    {
        return SettingsText::strengthFromSlider(value);
    }
    // "picker", "spinner", "progressBar", "success" or "error".
    Q_INVOKABLE QString updateArea(const OTAState& state) const;
    Q_INVOKABLE QString updateStatus(const OTAState& state) const
    {
        return SettingsText::updateStatus(state);
    }
    Q_INVOKABLE QString updateDetail(const OTAState& state) const
    {
        return SettingsText::updateDetail(state);
    }
    Q_INVOKABLE double updateFraction(const OTAState& state) const
    {
        return SettingsText::updateFraction(state);
    }
    // The problem's description, or an empty text when the file can be used.
    Q_INVOKABLE QString pickerProblem(const QUrl& file) const
    {
        return SettingsText::pickerProblem(file).value_or(QString());
    }
    Q_INVOKABLE QString pickerUnavailable() const { return SettingsText::pickerUnavailable(); }
};
