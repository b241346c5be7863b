#pragma once

#include "ChairEndpoint.h"

#include <QDBusConnection>
#include <QStringList>

class QDBusMessage;

// The running program's chair, through the interface it exports on the session bus.
class RemoteEndpoint final : public ChairEndpoint {
    Q_OBJECT
public:
    static inline const QString service = QStringLiteral("app.velnora.VelnoraDesktop");
    static inline const QString path = QStringLiteral("/app/velnora/Chair");

    // The program runs: its name has an owner on the session bus.
    static bool isAvailable();

    explicit RemoteEndpoint(QObject* parent = nullptr);

    void open(const ControlReply& opened) override;
    QVariantMap properties() const override { return cache; }
    void call(const QString& method, const QVariantList& arguments,
              const ControlReply& reply) override;
    bool ownsLink() const override { return false; }

private Q_SLOTS:
    void handlePropertiesChanged(const QString& interface, const QVariantMap& changed,
                                 const QStringList& invalidated);

private:
    void sendAsync(const QDBusMessage& message, int timeoutMs,
                   const std::function<void(const QDBusMessage&)>& answered);

    QDBusConnection bus;
    QVariantMap cache;
};
