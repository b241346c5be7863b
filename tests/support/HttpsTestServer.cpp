#include "HttpsTestServer.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>

namespace {

// Counts every connection: a client speaking plain HTTP never starts a handshake.
class CountingServer : public QSslServer {
public:
    CountingServer(QObject* parent, int& count)
        : QSslServer(parent)
        , count(count)
    {
    }

protected:
    void incomingConnection(qintptr socket) override
    {
        ++count;
        QSslServer::incomingConnection(socket);
    }

private:
    int& count;
};

struct Certificates {
    QSslCertificate ca, server, selfSigned;
    QSslKey serverKey, selfSignedKey;
};

// Made once per run with the openssl command line; arguments split at spaces.
const Certificates& certificates()
{
    static const Certificates made = [] {
        QTemporaryDir dir;
        const auto openssl = [&](const QString& arguments) {
            QProcess process;
            process.setWorkingDirectory(dir.path());
            process.start(QStringLiteral("openssl"), arguments.split(u' '));
            if (!process.waitForFinished(30000) || process.exitCode() != 0)
                qFatal("openssl %s failed: %s", qPrintable(arguments),
                       process.readAllStandardError().constData());
        };
        const auto read = [&](const char* name) {
            QFile file(dir.filePath(QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QString req = QStringLiteral("req -x509 -days 2 -nodes -newkey ec "
                                           "-pkeyopt ec_paramgen_curve:prime256v1 ");
        const QString leaf = QStringLiteral(
            " -subj /CN=127.0.0.1 -addext basicConstraints=critical,CA:FALSE -addext "
            "keyUsage=critical,digitalSignature -addext extendedKeyUsage=serverAuth -addext "
            "subjectAltName=IP:127.0.0.1");
        openssl(req + QLatin1String("-subj /CN=VelnoraTestCA -addext basicConstraints=critical,"
                                    "CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign "
                                    "-keyout ca.key -out ca.crt"));
        openssl(req + QLatin1String("-CA ca.crt -CAkey ca.key -keyout server.key -out server.crt") +
                leaf);
        openssl(req + QLatin1String("-keyout self.key -out self.crt") + leaf);
        const Certificates loaded{
            QSslCertificate(read("ca.crt")), QSslCertificate(read("server.crt")),
            QSslCertificate(read("self.crt")), QSslKey(read("server.key"), QSsl::Ec),
            QSslKey(read("self.key"), QSsl::Ec)};
        if (loaded.ca.isNull() || loaded.server.isNull() || loaded.serverKey.isNull() ||
            loaded.selfSigned.isNull() || loaded.selfSignedKey.isNull())
            qFatal("the test certificates did not load");
        return loaded;
    }();
    return made;
}

} // namespace

HttpsTestServer::HttpsTestServer(Identity identity)
    : server(new CountingServer(this, connections))
{
    const Certificates& certs = certificates();
    const bool trusted = identity == Identity::signedByTestCa;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(trusted ? certs.server : certs.selfSigned);
    tls.setPrivateKey(trusted ? certs.serverKey : certs.selfSignedKey);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(tls);
    connect(server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket* socket = server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                buffers.remove(socket);
                socket->deleteLater();
            });
            readFrom(socket);
        }
    });
    if (!server->listen(QHostAddress::LocalHost, 0))
        qFatal("the test server cannot listen: %s", qPrintable(server->errorString()));
    answerEvery({200, R"({"data":{"chairUsageByLegPositionAndChair":[]}})"});
}

QSslCertificate HttpsTestServer::caCertificate()
{
    return certificates().ca;
}

QUrl HttpsTestServer::url(const QString& scheme) const
{
    return QUrl(
        QStringLiteral("%1://127.0.0.1:%2/api/graphql").arg(scheme).arg(server->serverPort()));
}

void HttpsTestServer::answer(int requestIndex, const Answer& answer)
{
    if (requestIndex < 0 || requestIndex >= heldOn.size() || !heldOn[requestIndex])
        return;
    // The client reads the code, never the reason phrase.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) +
                      " Scripted\r\nContent-Type: application/json\r\n";
    for (const auto& [name, value] : answer.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n\r\n";
    heldOn[requestIndex]->write(head + answer.body);
    heldOn[requestIndex] = nullptr;
}

void HttpsTestServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = buffers[socket];
    buffer += socket->readAll();
    for (qsizetype headEnd; (headEnd = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        Request request{lines.first().trimmed(), {}, {}};
        qsizetype length = 0;
        for (const QByteArray& line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            if (request.headers.last().first.compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = request.headers.last().second.toLongLong();
        }
        if (buffer.size() < headEnd + 4 + length)
            return;
        request.body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        received.append(request);
        heldOn.append(socket);
        if (const std::optional<Answer> now = responder(request))
            answer(int(received.size() - 1), *now);
    }
}
