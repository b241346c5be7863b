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

void Settings::store(const char* key, const QVariant& value, const QVariant& current,
                     void (Settings::*changed)())
{
    if (value == current)
        return;
    store_->setValue(QLatin1String(key), value);
    store_->sync(); // written at the moment of change; nothing waits for the exit
    Q_EMIT(this->*changed)();
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
    store(termsKey, value, acceptedTermsVersion(), &Settings::acceptedTermsVersionChanged);
}

void Settings::setAnalyticsUserEmail(const QString& value)
{
    store(emailKey, value, analyticsUserEmail(), &Settings::analyticsUserEmailChanged);
}

void Settings::setUserDisplayName(const QString& value)
{
    store(nameKey, value, userDisplayName(), &Settings::userDisplayNameChanged);
}

void Settings::setDebugModeActive(bool value)
{
    store(debugModeKey, value, debugModeActive(), &Settings::debugModeActiveChanged);
}

void Settings::setDebugChairSerial(const QString& value)
{
    store(debugSerialKey, value, debugChairSerial(), &Settings::debugChairSerialChanged);
}
