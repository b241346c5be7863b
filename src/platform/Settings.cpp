#include "Settings.h"

#include <QRegularExpression>

namespace {
constexpr const char* termsKey = "acceptedTermsVersion";
constexpr const char* emailKey = "analyticsUserEmail";
constexpr const char* nameKey = "userDisplayName";
constexpr const char* debugModeKey = "debugModeActive";
constexpr const char* debugSerialKey = "debugChairSerial";
constexpr const char* chairAddressKey = "rememberedChairAddress";
constexpr const char* chairNameKey = "rememberedChairName";
constexpr const char* autoConnectKey = "connectAutomatically";

// Six hex pairs, not all zero: anything else cannot name a chair's radio.
bool isRadioAddress(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2}){5}$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(text).hasMatch() && text != QLatin1String("00:00:00:00:00:00");
}
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

std::optional<RememberedChair> Settings::rememberedChair() const
{
    const QString address = text(chairAddressKey).trimmed();
    if (!isRadioAddress(address))
        return std::nullopt;
    return RememberedChair{address.toUpper(), text(chairNameKey)};
}

QString Settings::rememberedChairName() const
{
    const std::optional<RememberedChair> chair = rememberedChair();
    return chair ? chair->name : QString();
}

bool Settings::connectAutomatically() const
{
    return store_->value(QLatin1String(autoConnectKey), true).toBool();
}

void Settings::rememberChair(const RememberedChair& chair)
{
    const std::optional<RememberedChair> before = rememberedChair();
    if (before && before->address == chair.address && before->name == chair.name)
        return;
    store_->setValue(QLatin1String(chairAddressKey), chair.address);
    store_->setValue(QLatin1String(chairNameKey), chair.name);
    store_->sync();
    Q_EMIT rememberedChairChanged();
}

void Settings::forgetChair()
{
    if (!store_->contains(QLatin1String(chairAddressKey)) &&
        !store_->contains(QLatin1String(chairNameKey)))
        return;
    const bool wasRemembered = hasRememberedChair();
    store_->remove(QLatin1String(chairAddressKey));
    store_->remove(QLatin1String(chairNameKey));
    store_->sync();
    if (wasRemembered)
        Q_EMIT rememberedChairChanged();
}

void Settings::setConnectAutomatically(bool value)
{
    store(autoConnectKey, value, connectAutomatically(), &Settings::connectAutomaticallyChanged);
}
