#pragma once

#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

struct RememberedChair {
    QString address; // "AA:BB:CC:DD:EE:FF"
    QString name;
};

// The values kept between runs. Each is written at the moment it changes; nothing is saved at
// exit.
class Settings : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString acceptedTermsVersion READ acceptedTermsVersion WRITE setAcceptedTermsVersion
                   NOTIFY acceptedTermsVersionChanged)
    Q_PROPERTY(QString analyticsUserEmail READ analyticsUserEmail WRITE setAnalyticsUserEmail NOTIFY
                   analyticsUserEmailChanged)
    Q_PROPERTY(QString registeredEmail READ registeredEmail NOTIFY analyticsUserEmailChanged)
    Q_PROPERTY(QString userDisplayName READ userDisplayName WRITE setUserDisplayName NOTIFY
                   userDisplayNameChanged)
    Q_PROPERTY(bool debugModeActive READ debugModeActive WRITE setDebugModeActive NOTIFY
                   debugModeActiveChanged)
    Q_PROPERTY(QString debugChairSerial READ debugChairSerial WRITE setDebugChairSerial NOTIFY
                   debugChairSerialChanged)
    Q_PROPERTY(bool hasRememberedChair READ hasRememberedChair NOTIFY rememberedChairChanged)
    Q_PROPERTY(QString rememberedChairName READ rememberedChairName NOTIFY rememberedChairChanged)
    Q_PROPERTY(bool connectAutomatically READ connectAutomatically WRITE setConnectAutomatically
                   NOTIFY connectAutomaticallyChanged)

public:
    // The maker's administrator address: stored, it counts as no e-mail at all.
    static inline const QString placeholderAdminEmail = QStringLiteral("admin@velnora.app");

    // The user's own store (organisation "Velnora", application "VelnoraDesktop").
    explicit Settings(QObject* parent = nullptr);
    // A store in an INI file of its own (tests, tools).
    explicit Settings(const QString& iniFile, QObject* parent = nullptr);
    ~Settings() override;

    QString acceptedTermsVersion() const;
    QString analyticsUserEmail() const; // as stored; empty when absent
    QString registeredEmail() const;    // the e-mail to use: empty when absent or the placeholder
    QString userDisplayName() const;
    bool debugModeActive() const;
    QString debugChairSerial() const;
    // The chair of the last successful connect, by its radio address; a stored address that is
    // not one counts as no chair at all.
    std::optional<RememberedChair> rememberedChair() const;
    bool hasRememberedChair() const { return rememberedChair().has_value(); }
    QString rememberedChairName() const;
    bool connectAutomatically() const; // true when absent

    void setAcceptedTermsVersion(const QString& value);
    void setAnalyticsUserEmail(const QString& value);
    void setUserDisplayName(const QString& value);
    void setDebugModeActive(bool value);
    void setDebugChairSerial(const QString& value);
    void rememberChair(const RememberedChair& chair);
    Q_INVOKABLE void forgetChair();
    void setConnectAutomatically(bool value);

Q_SIGNALS:
    void acceptedTermsVersionChanged();
    void analyticsUserEmailChanged();
    void userDisplayNameChanged();
    void debugModeActiveChanged();
    void debugChairSerialChanged();
    void rememberedChairChanged();
    void connectAutomaticallyChanged();

private:
    QString text(const char* key) const;
    // Stores and announces a value that differs from the current one.
    void store(const char* key, const QVariant& value, const QVariant& current,
               void (Settings::*changed)());

    std::unique_ptr<QSettings> store_;
};
