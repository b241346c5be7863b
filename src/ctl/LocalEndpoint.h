#pragma once

#include "AppServices.h"
#include "ChairEndpoint.h"

#include <memory>

class BluetoothManager;

// A link of this tool's own, made with the program's link core and the user's settings, for
// when the program does not run.
class LocalEndpoint final : public ChairEndpoint {
    Q_OBJECT
public:
    explicit LocalEndpoint(QObject* parent = nullptr);
    ~LocalEndpoint() override;

    void open(const ControlReply& opened) override;
    QVariantMap properties() const override;
    void call(const QString& method, const QVariantList& arguments,
              const ControlReply& reply) override;
    bool ownsLink() const override { return true; }

private:
    AppServices services;
    std::unique_ptr<BluetoothManager> manager;
    std::unique_ptr<ChairControl> control;
};
