#pragma once

#include "ChairControl.h"

#include <QObject>
#include <QVariantMap>

// The chair as the commands see it, whether the running program holds the link or this tool
// makes its own: the interface's properties as plain Qt values, its methods, and its changes.
class ChairEndpoint : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Replies once the properties can be read.
    virtual void open(const ControlReply& opened) = 0;
    virtual QVariantMap properties() const = 0;
    virtual void call(const QString& method, const QVariantList& arguments,
                      const ControlReply& reply) = 0;
    // True when this tool made the link itself and must let the chair go before it exits.
    virtual bool ownsLink() const = 0;

Q_SIGNALS:
    void changed(const QVariantMap& changed);
    // The program that held the link went away.
    void lost(const ControlError& why);
};
