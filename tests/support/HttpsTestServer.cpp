#include "HttpsTestServer.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>

namespace {

const char* const opensslConfig = R"(
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1
)";

// Arguments split at spaces: every name here is relative to the working folder.
void openssl(const QTemporaryDir& dir, const QString& arguments)
{
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral("openssl"), arguments.split(u' '));
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        qFatal("openssl %s failed: %s", qPrintable(arguments),
               process.readAllStandardError().constData());
}

QByteArray readFile(const QTemporaryDir& dir, const char* name)
{
    QFile file(dir.filePath(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

TestCertificates makeCertificates()
{
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("openssl.cnf")));
    if (!config.open(QIODevice::WriteOnly) || config.write(opensslConfig) < 0)
        qFatal("cannot write the openssl configuration");
    config.close();
    const QString req = QStringLiteral("req -config openssl.cnf -days 2 -nodes -newkey ec "
                                       "-pkeyopt ec_paramgen_curve:prime256v1 ");
    openssl(dir,
            req + QLatin1String(
                      "-x509 -subj /CN=VelnoraTestCA -extensions ca -keyout ca.key -out ca.crt"));
    openssl(dir, req + QLatin1String("-subj /CN=127.0.0.1 -keyout server.key -out server.csr"));
    openssl(dir, QStringLiteral("x509 -req -in server.csr -CA ca.crt -CAkey ca.key -set_serial 2 "
                                "-days 2 -extfile openssl.cnf -extensions leaf -out server.crt"));
    openssl(dir,
            req + QLatin1String(
                      "-x509 -subj /CN=127.0.0.1 -extensions leaf -keyout self.key -out self.crt"));

    TestCertificates made{
        QSslCertificate(readFile(dir, "ca.crt")), QSslCertificate(readFile(dir, "server.crt")),
        QSslKey(readFile(dir, "server.key"), QSsl::Ec), QSslCertificate(readFile(dir, "self.crt")),
        QSslKey(readFile(dir, "self.key"), QSsl::Ec)};
    if (made.ca.isNull() || made.server.isNull() || made.serverKey.isNull() ||
        made.selfSigned.isNull() || made.selfSignedKey.isNull())
        qFatal("the test certificates did not load");
    return made;
}

} // namespace

const TestCertificates& testCertificates()
{
    static const TestCertificates made = makeCertificates();
    return made;
}

HttpsTestServer::HttpsTestServer(Identity identity, QObject* parent)
    : QObject(parent)
    , server(new QSslServer(this))
{
    const TestCertificates& certs = testCertificates();
    const bool trusted = identity == Identity::signedByTestCa;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(trusted ? certs.server : certs.selfSigned);
    tls.setPrivateKey(trusted ? certs.serverKey : certs.selfSignedKey);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(tls);
    connect(server, &QSslServer::startedEncryptionHandshake, this, [this] { ++handshakes; });
    connect(server, &QTcpServer::pendingConnectionAvailable, this, &HttpsTestServer::acceptPending);
    if (!server->listen(QHostAddress::LocalHost, 0))
        qFatal("the test server cannot listen: %s", qPrintable(server->errorString()));
    answerEvery({200, R"({"data":{"chairUsageByLegPositionAndChair":[]}})"});
}

HttpsTestServer::~HttpsTestServer() = default;

QUrl HttpsTestServer::url(const QString& path) const
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(server->serverPort());
    url.setPath(path);
    return url;
}

void HttpsTestServer::answerEvery(const Answer& answer)
{
    responder = [answer](const Request&) { return answer; };
}

void HttpsTestServer::holdEvery()
{
    responder = [](const Request&) { return std::nullopt; };
}

void HttpsTestServer::answer(int requestIndex, const Answer& answer)
{
    if (requestIndex < 0 || requestIndex >= heldOn.size() || !heldOn[requestIndex])
        return;
    write(heldOn[requestIndex], answer);
    heldOn[requestIndex] = nullptr;
}

void HttpsTestServer::acceptPending()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            buffers.remove(socket);
            socket->deleteLater();
        });
        readFrom(socket);
    }
}

void HttpsTestServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> start = lines.first().trimmed().split(' ');
        Request request;
        request.method = start.value(0);
        request.path = start.value(1);
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = lines[i].left(colon).trimmed();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = value.toLongLong();
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

void HttpsTestServer::write(QTcpSocket* socket, const Answer& answer)
{
    // The client reads the code, never the reason phrase.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) +
                      " Scripted\r\nContent-Type: application/json\r\n";
    for (const auto& [name, value] : answer.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n\r\n";
    socket->write(head + answer.body);
}
