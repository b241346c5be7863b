#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QUrl>

#include <functional>
#include <optional>
#include <utility>

class QSslServer;
class QTcpSocket;

// HTTP/1.1 over TLS on 127.0.0.1 and an ephemeral port, answering as a test scripts it. Its
// certificate is signed by a test CA, or self-signed and trusted by nobody.
class HttpsTestServer : public QObject {
    Q_OBJECT

public:
    enum class Identity { signedByTestCa, selfSigned };

    struct Request {
        QByteArray requestLine;                           // method, path and version
        QList<std::pair<QByteArray, QByteArray>> headers; // as sent, in order
        QByteArray body;
    };
    struct Answer {
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers = {};
    };
    // No answer holds the request until answer() releases it, or forever.
    using Responder = std::function<std::optional<Answer>(const Request&)>;

    explicit HttpsTestServer(Identity identity = Identity::signedByTestCa);

    static QSslCertificate caCertificate();
    QUrl url(const QString& scheme = QStringLiteral("https")) const;

    void setResponder(Responder value) { responder = std::move(value); }
    void answerEvery(const Answer& answer)
    {
        responder = [answer](const Request&) { return answer; };
    }
    void holdEvery()
    {
        responder = [](const Request&) { return std::nullopt; };
    }
    void answer(int requestIndex, const Answer& answer);

    const QList<Request>& requests() const { return received; }
    // TCP connections, TLS or not.
    int connectionsMade() const { return connections; }

private:
    void readFrom(QTcpSocket* socket);

    QSslServer* server;
    Responder responder;
    QList<Request> received;
    QList<QPointer<QTcpSocket>> heldOn; // by request index; null once answered
    QHash<QTcpSocket*, QByteArray> buffers;
    int connections = 0;
};
