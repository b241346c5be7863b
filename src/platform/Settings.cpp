#include "Settings.h"

namespace {
constexpr const char* termsKey = "acceptedTermsVersion";
constexpr const char* emailKey = "analyticsUserEmail";
constexpr const char* nameKey = "userDisplayName";
constexpr const char* debugModeKey = "debugModeActive";
constexpr const char* debugSerialKey = "debugChairSerial";
} // namespace

Settings::Settings(QObject* parent)
    : QObject(parent)
    , store_(
          std::make_unique<QSettings>(QStringLiteral("Velnora"), QStringLiteral("VelnoraDesktop")))
{
}

Settings::Settings(const QString& iniFile, QObject* parent)
    : QObject(parent)
    , store_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

Settings::~Settings() = default;

QString Settings::text(const char* key) const
{
    return store_->value(QLatin1String(key)).toString();
}

void Settings::store(const char* key, const QVariant& value)
{
    store_->setValue(QLatin1String(key), value);
    store_->sync();
}

QString Settings::acceptedTermsVersion() const
{
    return text(termsKey);
}
QString Settings::analyticsUserEmail() const
{
    return text(emailKey);
}
QString Settings::userDisplayName() const
{
    return text(nameKey);
}
QString Settings::debugChairSerial() const
{
    return text(debugSerialKey);
}

bool Settings::debugModeActive() const
{
    return store_->value(QLatin1String(debugModeKey), false).toBool();
}

QString Settings::registeredEmail() const
{
    const QString email = analyticsUserEmail();
    return email == placeholderAdminEmail ? QString() : email;
}

void Settings::setAcceptedTermsVersion(const QString& value)
{
    if (value == acceptedTermsVersion())
        return;
    store(termsKey, value);
    Q_EMIT acceptedTermsVersionChanged();
}

void Settings::setAnalyticsUserEmail(const QString& value)
{
    if (value == analyticsUserEmail())
        return;
    store(emailKey, value);
    Q_EMIT analyticsUserEmailChanged();
}

void Settings::setUserDisplayName(const QString& value)
{
    if (value == userDisplayName())
        return;
    store(nameKey, value);
    Q_EMIT userDisplayNameChanged();
}

void Settings::setDebugModeActive(bool value)
{
    if (value == debugModeActive())
        return;
    store(debugModeKey, value);
    Q_EMIT debugModeActiveChanged();
}

void Settings::setDebugChairSerial(const QString& value)
{
    if (value == debugChairSerial())
        return;
    store(debugSerialKey, value);
    Q_EMIT debugChairSerialChanged();
}
