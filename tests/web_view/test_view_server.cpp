#include "timing/count_command.h"
#include "web_view/view_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <future>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QByteArray token = "0123456789abcdef0123456789abcdef";
const QByteArray upgrade = "GET /socket HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

// A connection to the server from `from` (any 127.x.y.z is this machine), closed when it goes. Blocking, so that
// it serves on any thread without an event loop.
struct Client {
    std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
    Client(const char* from, quint16 port)
    {
        socket->bind(QHostAddress(QString::fromLatin1(from)));
        socket->connectToHost(QHostAddress::LocalHost, port);
        socket->waitForConnected(5000);
    }
    // The answer's head, once it is all there.
    QByteArray exchange(const QByteArray& request)
    {
        if (socket->state() != QAbstractSocket::ConnectedState || socket->write(request) != request.size() ||
            !socket->waitForBytesWritten(5000))
            return {};
        QByteArray answer;
        do
            answer += socket->readAll();
        while (!answer.contains("\r\n\r\n") && socket->waitForReadyRead(5000));
        return answer + socket->readAll();
    }
};

QByteArray request(const QByteArray& line, const QByteArray& headers = {}, const QByteArray& body = {})
{
    return line + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + headers +
           "\r\n" + body;
}

QByteArray command(const QByteArray& name, const QByteArray& given = token, const QByteArray& body = {})
{
    return request("POST /api/" + name, "X-Lectern-Token: " + given + "\r\n", body);
}

QByteArray changedAt(qsizetype at)
{
    QByteArray wrong = token;
    wrong[at] = wrong[at] == 'f' ? 'e' : 'f';
    return wrong;
}

// The program's side: a fixed state, the count's own parser, and the commands run.
struct Host final : ViewHost {
    QList<CountCommand> ran;
    QByteArray state() const override { return R"({"elapsed":1})"; }
    std::optional<CountCommand> parse(QByteArrayView name, QByteArrayView argument) const override
    {
        return parseCountCommand(name, argument);
    }
    void run(const CountCommand& command) override { ran << command; }
    void viewClosed() override {}
};

// A request whose head, request line to blank line, is `size` bytes.
QByteArray headOf(qsizetype size)
{
    const QByteArray start = "GET /api/state HTTP/1.1\r\nHost: x\r\nX-Pad: ";
    return start + QByteArray(size - start.size() - 4, 'a') + "\r\n\r\n";
}

} // namespace

class TestViewServer : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
};

void TestViewServer::answers_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("viewersBefore");
    QTest::addColumn<int>("idleBefore");
    QTest::addColumn<int>("perAddress");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header");

    const QByteArray local = "127.0.0.1";
    QTest::newRow("page") << request("GET /") << 0 << 0 << 8 << local << 200
                          << QByteArray("Content-Security-Policy: default-src 'none'");
    QTest::newRow("page: its own socket by name")
        << request("GET /") << 0 << 0 << 8 << local << 200 << QByteArray("connect-src 'self' ws://x\r\n");
    QTest::newRow("state, for any page") << request("GET /api/state") << 0 << 0 << 8 << local << 200
                                         << QByteArray("Access-Control-Allow-Origin: *");
    QTest::newRow("right token") << command("check") << 0 << 0 << 8 << local << 204 << QByteArray();
    QTest::newRow("right token in the query")
        << request("POST /api/check?token=" + token) << 0 << 0 << 8 << local << 204 << QByteArray();
    QTest::newRow("token wrong in its first digit")
        << command("check", changedAt(0)) << 0 << 0 << 8 << local << 403 << QByteArray();
    QTest::newRow("token wrong in a middle digit")
        << command("check", changedAt(16)) << 0 << 0 << 8 << local << 403 << QByteArray();
    QTest::newRow("token wrong in its last digit")
        << command("check", changedAt(31)) << 0 << 0 << 8 << local << 403 << QByteArray();
    QTest::newRow("token missing") << request("POST /api/pause") << 0 << 0 << 8 << local << 403 << QByteArray();
    QTest::newRow("adjust, a bare number")
        << command("adjust", token, "-10") << 0 << 0 << 8 << local << 200 << QByteArray("application/json");
    QTest::newRow("adjust, in JSON") << command("adjust", token, R"({"seconds": 3600})") << 0 << 0 << 8 << local << 200
                                     << QByteArray();
    QTest::newRow("adjust, in the query")
        << command("adjust?seconds=-3600") << 0 << 0 << 8 << local << 200 << QByteArray();
    QTest::newRow("adjust past its bound")
        << command("adjust", token, "86400.5") << 0 << 0 << 8 << local << 400 << QByteArray();
    QTest::newRow("adjust, in JSON with an exponent")
        << command("adjust", token, R"({"seconds": -1e2})") << 0 << 0 << 8 << local << 200 << QByteArray();
    QTest::newRow("rehearsal") << command("rehearsal") << 0 << 0 << 8 << local << 200 << QByteArray();
    QTest::newRow("bell") << command("bell") << 0 << 0 << 8 << local << 200 << QByteArray();
    QTest::newRow("no such command") << command("front") << 0 << 0 << 8 << local << 404 << QByteArray();
    QTest::newRow("adjust by no number") << command("adjust", token, "ten") << 0 << 0 << 8 << local << 400
                                         << QByteArray();
    QTest::newRow("command by GET") << request("GET /api/pause") << 0 << 0 << 8 << local << 405
                                    << QByteArray("Allow: POST");
    QTest::newRow("no such page") << request("GET /index.html") << 0 << 0 << 8 << local << 404
                                  << QByteArray("Cache-Control: no-store");
    QTest::newRow("head at its bound") << headOf(4096) << 0 << 0 << 8 << local << 200 << QByteArray();
    QTest::newRow("head past its bound") << headOf(4097) << 0 << 0 << 8 << local << 431 << QByteArray();
    QTest::newRow("body at its bound") << command("adjust", token, QByteArray(4094, ' ') + "10") << 0 << 0 << 8 << local
                                       << 200 << QByteArray();
    QTest::newRow("body past its bound") << command("adjust", token, QByteArray(4095, ' ') + "10") << 0 << 0 << 8
                                         << local << 413 << QByteArray();
    QTest::newRow("64th viewer") << upgrade << 63 << 0 << 8 << local << 101 << QByteArray();
    QTest::newRow("65th viewer") << upgrade << 64 << 0 << 8 << local << 503 << QByteArray();
    QTest::newRow("page for a 65th viewer") << request("GET /") << 64 << 0 << 8 << local << 503 << QByteArray();
    QTest::newRow("an address past its bound") << request("GET /") << 0 << 0 << 0 << local << 503 << QByteArray();
    QTest::newRow("an address past its bound, with the token")
        << command("pause") << 0 << 0 << 0 << local << 200 << QByteArray();
    QTest::newRow("40 idle from one address: the page from another")
        << request("GET /") << 0 << 40 << 8 << QByteArray("127.0.0.2") << 200 << QByteArray();
    QTest::newRow("40 idle from one address: a command from it")
        << command("pause") << 0 << 40 << 8 << local << 200 << QByteArray();
}

void TestViewServer::answers()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, viewersBefore);
    QFETCH(int, idleBefore);
    QFETCH(int, perAddress);
    QFETCH(QByteArray, from);
    QFETCH(int, status);
    QFETCH(QByteArray, header);

    Host host;
    ViewServer server(host);
    ViewLimits limits;
    limits.perAddress = perAddress;
    server.setLimits(limits);
    server.setToken(QString::fromLatin1(token));
    const quint16 port = server.start(0);
    QVERIFY(port != 0);

    // The clients wait on a thread of their own: a command is run on this one, whose events must go on.
    std::vector<Client> held;
    auto viewers = std::async(std::launch::async, [&] {
        for (int k = 0; k < viewersBefore; ++k) {
            held.emplace_back("127.0.0.1", port);
            if (!held.back().exchange(upgrade).startsWith("HTTP/1.1 101"))
                return false;
        }
        for (int k = 0; k < idleBefore; ++k)
            held.emplace_back("127.0.0.1", port);
        return true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(viewers.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 20000);
    QVERIFY(viewers.get());
    QTRY_COMPARE(server.viewerCount(), viewersBefore);

    auto answer = std::async(std::launch::async, [&] { return Client(from.constData(), port).exchange(sent); });
    QTRY_VERIFY_WITH_TIMEOUT(answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 10000);
    const QByteArray head = answer.get();
    QVERIFY2(head.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), head.constData());
    QVERIFY2(head.contains(header), head.constData());
    // A command answered 200 ran once, as the one named in the path.
    if (sent.startsWith("POST /api/") && status == 200) {
        QCOMPARE(host.ran.size(), 1);
        const QByteArray name = countCommandText(host.ran.constFirst()).split('=').constFirst();
        QVERIFY2(sent.startsWith("POST /api/" + name), name.constData());
    }
}

QTEST_GUILESS_MAIN(TestViewServer)
#include "test_view_server.moc"
