#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>

#include <functional>
#include <optional>
#include <utility>

class QSslServer;
class QTcpSocket;

// A CA, a server certificate for 127.0.0.1 signed by it, and a self-signed one nobody trusts.
// Made once per run with the openssl command line.
struct TestCertificates {
    QSslCertificate ca;
    QSslCertificate server;
    QSslKey serverKey;
    QSslCertificate selfSigned;
    QSslKey selfSignedKey;
};
const TestCertificates& testCertificates();

// HTTP/1.1 over TLS on 127.0.0.1 and an ephemeral port, answering as a test scripts it.
class HttpsTestServer : public QObject {
    Q_OBJECT

public:
    enum class Identity { signedByTestCa, selfSigned };

    struct Request {
        QByteArray method;
        QByteArray path;
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

    explicit HttpsTestServer(Identity identity = Identity::signedByTestCa,
                             QObject* parent = nullptr);
    ~HttpsTestServer() override;

    QUrl url(const QString& path = QStringLiteral("/api/graphql")) const;
    static QSslCertificate caCertificate() { return testCertificates().ca; }

    void setResponder(Responder value) { responder = std::move(value); }
    void answerEvery(const Answer& answer);
    void holdEvery();
    void answer(int requestIndex, const Answer& answer);

    const QList<Request>& requests() const { return received; }
    int handshakesStarted() const { return handshakes; }

private:
    void acceptPending();
    void readFrom(QTcpSocket* socket);
    static void write(QTcpSocket* socket, const Answer& answer);

    QSslServer* server;
    Responder responder;
    QList<Request> received;
    QList<QPointer<QTcpSocket>> heldOn; // by request index; null once answered
    QHash<QTcpSocket*, QByteArray> buffers;
    int handshakes = 0;
};
