// The real QtNetwork code against a web server of this test on 127.0.0.1, and the 按钮3_IP
// handler on a scripted network.
#include "fakes/test_rig.h"
#include "ops/network_address.h"
#include "platform/loaded_network.h"
#include "platform/qt_network.h"

#include <QLineEdit>
#include <QNetworkProxy>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

namespace {
// "你的外网IP地址是：203.0.113.7</p>" as the two encodings a lookup page comes in.
const QByteArray Utf8Page = QStringLiteral("<html><body><p>你的外网IP地址是：203.0.113.7</p>"
                                           "<p>来自：示例网络</p></body></html>")
                                .toUtf8();
const QByteArray GbkPage = QByteArray("<html><body><p>") +
                           "\xC4\xE3\xB5\xC4\xCD\xE2\xCD\xF8IP\xB5\xD8\xD6\xB7\xCA\xC7\xA3\xBA" +
                           "203.0.113.7</p><p>\xC0\xB4\xD7\xD4</p></body></html>";
const QByteArray Utf8PageWithoutEnd =
    QStringLiteral("<html><body><p>你的外网IP地址是：203.0.113.7</body></html>").toUtf8();

QByteArray httpResponse(const QByteArray& status, const QByteArray& contentType,
                        const QByteArray& body) {
    QByteArray response = "HTTP/1.1 " + status + "\r\n";
    if (!contentType.isEmpty())
        response += "Content-Type: " + contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body;
    return response;
}

// A web server on 127.0.0.1 that gives every request the same scripted response, or none at
// all. It stops by itself after a while, so that nothing outlives a test that went wrong.
class LoopbackServer {
public:
    // An empty response leaves every request unanswered.
    explicit LoopbackServer(QByteArray response) : response_(std::move(response)) {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
        stopTimer_.setSingleShot(true);
        QObject::connect(&stopTimer_, &QTimer::timeout, &server_, [this] { stop(); });
        stopTimer_.start(20'000);
        listening_ = server_.listen(QHostAddress::LocalHost);
    }
    ~LoopbackServer() { stop(); }

    bool listening() const { return listening_; }
    bool stopped() const { return stopped_; }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/ip/").arg(server_.serverPort()));
    }
    // The requests received, each up to the end of its header.
    QList<QByteArray> requests;
    // Connections that the client closed while they were still open here.
    int closedByClient = 0;

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            sockets_.emplace_back(socket);
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
                received->append(socket->readAll());
                if (!received->contains("\r\n\r\n"))
                    return;
                requests.append(received->left(received->indexOf("\r\n\r\n")));
                received->clear();
                if (response_.isEmpty())
                    return;
                socket->write(response_);
                answered_.append(socket);
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                if (!stopped_ && !answered_.contains(socket))
                    ++closedByClient;
            });
        }
    }
    void stop() {
        stopped_ = true;
        server_.close();
        for (const auto& socket : sockets_)
            socket->abort();
    }

    QByteArray response_;
    QTcpServer server_;
    QTimer stopTimer_;
    bool listening_ = false;
    bool stopped_ = false;
    std::vector<std::unique_ptr<QTcpSocket>> sockets_;
    QList<QTcpSocket*> answered_;
};

const auto& ui(Program& program) {
    return program.window().ui();
}
} // namespace

class NetworkTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // However the machine is set up, nothing here may leave 127.0.0.1.
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }

    void get_data() {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QString>("address");

        const QString address = QStringLiteral("203.0.113.7");
        QTest::newRow("UTF-8 declared")
            << QByteArray("200 OK") << QByteArray("text/html; charset=utf-8") << Utf8Page << true
            << QByteArray("utf-8") << address;
        QTest::newRow("GBK declared")
            << QByteArray("200 OK") << QByteArray("text/html; charset=GBK") << GbkPage << true
            << QByteArray("GBK") << address;
        QTest::newRow("GBK declared quoted, after another parameter")
            << QByteArray("200 OK") << QByteArray("text/html; level=1;Charset=\"gbk\"") << GbkPage
            << true << QByteArray("gbk") << address;
        QTest::newRow("UTF-8 undeclared") << QByteArray("200 OK") << QByteArray("text/html")
                                          << Utf8Page << true << QByteArray() << address;
        QTest::newRow("GBK undeclared") << QByteArray("200 OK") << QByteArray("text/html")
                                        << GbkPage << true << QByteArray() << address;
        QTest::newRow("GBK without Content-Type")
            << QByteArray("200 OK") << QByteArray() << GbkPage << true << QByteArray() << address;
        QTest::newRow("no </p> after the address")
            << QByteArray("200 OK") << QByteArray("text/html; charset=utf-8") << Utf8PageWithoutEnd
            << true << QByteArray("utf-8") << QString();
        QTest::newRow("not found")
            << QByteArray("404 Not Found") << QByteArray("text/html; charset=utf-8") << Utf8Page
            << false << QByteArray() << QString();
        QTest::newRow("server error")
            << QByteArray("500 Internal Server Error") << QByteArray("text/html; charset=utf-8")
            << Utf8Page << false << QByteArray() << QString();
        QTest::newRow("body beyond any lookup page")
            << QByteArray("200 OK") << QByteArray("text/html; charset=utf-8")
            << Utf8Page + QByteArray(2 << 20, ' ') << false << QByteArray() << QString();
    }
    void get() {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(bool, delivered);
        QFETCH(QByteArray, charset);
        QFETCH(QString, address);
        LoopbackServer server(httpResponse(status, contentType, body));
        QVERIFY(server.listening());
        QtNetwork network;

        const Network::Page page = network.get(server.url());
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].startsWith("GET /ip/ HTTP/1.1\r\n"));
        QCOMPARE(page.body, delivered ? body : QByteArray());
        QCOMPARE(page.charset, charset);
        QCOMPARE(page.outcome, delivered ? Network::Outcome::Received : Network::Outcome::Failed);
        QCOMPARE(public_address::fromPage(page), address);
    }

    // The shipped lookup page answers with nothing but the address, as plain text.
    void get_bareAddressPage() {
        LoopbackServer server(httpResponse("200 OK", "text/plain", "203.0.113.7\n"));
        QVERIFY(server.listening());
        QtNetwork network;
        QCOMPARE(public_address::fromPage(network.get(server.url())),
                 QStringLiteral("203.0.113.7"));
    }

    void get_givesUpOnAServerThatNeverAnswers() {
        LoopbackServer server{QByteArray()};
        QVERIFY(server.listening());
        QtNetwork network(300);
        bool handledMeanwhile = false;
        QTimer::singleShot(0, [&] { handledMeanwhile = true; });

        const Network::Page page = network.get(server.url());
        QVERIFY(page.body.isEmpty());
        QVERIFY(page.charset.isEmpty());
        QCOMPARE(page.outcome, Network::Outcome::TimedOut);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(handledMeanwhile);
        // It gave up by itself, and dropped the request rather than leaving it on the line.
        QVERIFY(!server.stopped());
        QTRY_COMPARE(server.closedByClient, 1);
    }

    void get_failsWhenNothingListens() {
        QUrl url;
        {
            LoopbackServer closed{QByteArray()};
            QVERIFY(closed.listening());
            url = closed.url();
        }
        QtNetwork network;
        const Network::Page page = network.get(url);
        QVERIFY(page.body.isEmpty());
        QVERIFY(page.charset.isEmpty());
        QCOMPARE(page.outcome, Network::Outcome::Failed);
    }

    void loadedNetwork_loadsTheModuleAtTheFirstQuery() {
        LoadedNetwork network({QStringLiteral("/nonexistent"), QStringLiteral(NETWORK_MODULE_DIR)});
        QVERIFY(!network.isLoaded());
        // The loopback address is on every machine, so the module's own answer includes it.
        QVERIFY(network.localAddresses().contains(QStringLiteral("127.0.0.1")));
        QVERIFY(network.isLoaded());
    }

    void loadedNetwork_withoutTheModule_isNotConnected() {
        QTemporaryDir empty;
        LoadedNetwork network({empty.path()});
        QVERIFY(!network.isConnected());
        QVERIFY(network.localAddresses().isEmpty());
        QVERIFY(network.get(QUrl(QStringLiteral("http://127.0.0.1:9/ip/"))).body.isEmpty());
        QVERIFY(!network.isLoaded());
    }

    void declaredCharset_data() {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("charset");
        QTest::newRow("plain") << QByteArray("text/html; charset=GBK") << QByteArray("GBK");
        QTest::newRow("no space, quoted")
            << QByteArray("text/html;charset=\"utf-8\"") << QByteArray("utf-8");
        QTest::newRow("spaces around =")
            << QByteArray("text/html; charset = gb2312 ") << QByteArray("gb2312");
        QTest::newRow("after another parameter")
            << QByteArray("text/html; q=1; CHARSET=UTF-8") << QByteArray("UTF-8");
        QTest::newRow("none") << QByteArray("text/html") << QByteArray();
        QTest::newRow("empty value") << QByteArray("text/html; charset=") << QByteArray();
        QTest::newRow("in the media type, not a parameter")
            << QByteArray("text/charset=gbk") << QByteArray();
        QTest::newRow("other parameter ending in charset")
            << QByteArray("text/html; xcharset=gbk") << QByteArray();
    }
    void declaredCharset() {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, charset);
        QCOMPARE(QtNetwork::declaredCharset(contentType), charset);
    }

    void pageText_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QString>("expected");
        const QString text = QString::fromUtf8(Utf8Page);
        QTest::newRow("GBK declared")
            << GbkPage << QByteArray("GBK")
            << QStringLiteral(
                   "<html><body><p>你的外网IP地址是：203.0.113.7</p><p>来自</p></body></html>");
        QTest::newRow("GB2312 declared, GBK body")
            << QByteArray("\xC4\xE3\xB5\xC4") << QByteArray("gb2312") << QStringLiteral("你的");
        QTest::newRow("UTF-8 declared") << Utf8Page << QByteArray("UTF-8") << text;
        QTest::newRow("UTF-8 undeclared") << Utf8Page << QByteArray() << text;
        QTest::newRow("unknown charset, UTF-8 body") << Utf8Page << QByteArray("x-none") << text;
        QTest::newRow("unknown charset, GBK body")
            << QByteArray("\xC4\xE3\xB5\xC4") << QByteArray("x-none") << QStringLiteral("你的");
        QTest::newRow("GBK undeclared")
            << QByteArray("\xC4\xE3\xB5\xC4") << QByteArray() << QStringLiteral("你的");
        QTest::newRow("empty") << QByteArray() << QByteArray() << QString();
    }
    void pageText() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, charset);
        QFETCH(QString, expected);
        QCOMPARE(public_address::pageText({body, charset}), expected);
    }

    void click_withoutNetwork_saysSoAndChangesNothing() {
        TestRig rig;
        rig.network.connected = false;
        rig.network.addresses = {QStringLiteral("192.168.1.20")};
        Program& program = rig.start();
        ui(program).internalAddress->setText(QStringLiteral("10.1.1.1"));
        ui(program).externalAddress->setText(QStringLiteral("198.51.100.1"));

        ui(program).addressButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, QStringLiteral("未连接网络"));
        QCOMPARE(rig.dialogs.shown[0].title, QString());
        QCOMPARE(rig.dialogs.shown[0].icon, Dialogs::Icon::None);
        QCOMPARE(rig.dialogs.shown[0].buttons, Dialogs::Buttons::Ok);
        QCOMPARE(ui(program).internalAddress->text(), QStringLiteral("10.1.1.1"));
        QCOMPARE(ui(program).externalAddress->text(), QStringLiteral("198.51.100.1"));
        QVERIFY(rig.network.gets.isEmpty());
        QVERIFY(program.state().localAddresses.isEmpty());
    }

    void click_showsTheInternalAddress_data() {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("shown");
        QTest::newRow("loopback first")
            << QStringList{"127.0.0.1", "192.168.1.20", "::1", "fe80::1%eth0"}
            << QStringLiteral("192.168.1.20");
        QTest::newRow("IPv6 listed before IPv4")
            << QStringList{"127.0.0.1", "::1", "2001:db8::5", "10.0.0.3"}
            << QStringLiteral("10.0.0.3");
        QTest::newRow("two interfaces, the first shown")
            << QStringList{"192.168.1.20", "10.0.0.3"} << QStringLiteral("192.168.1.20");
        QTest::newRow("another loopback address")
            << QStringList{"127.0.1.1", "172.16.0.9"} << QStringLiteral("172.16.0.9");
        QTest::newRow("only IPv6 and loopback")
            << QStringList{"127.0.0.1", "::1", "2001:db8::5", "2001:db8::6"}
            << QStringLiteral("2001:db8::5");
        QTest::newRow("scoped link-local only")
            << QStringList{"::1", "fe80::1%eth0"} << QStringLiteral("fe80::1%eth0");
        QTest::newRow("IPv4-mapped loopback")
            << QStringList{"::ffff:127.0.0.1", "2001:db8::7"} << QStringLiteral("2001:db8::7");
        QTest::newRow("not an address")
            << QStringList{"eth0", "10.0.0.4"} << QStringLiteral("10.0.0.4");
        QTest::newRow("loopback only") << QStringList{"127.0.0.1", "::1"} << QString();
        QTest::newRow("no address") << QStringList{} << QString();
    }
    void click_showsTheInternalAddress() {
        QFETCH(QStringList, addresses);
        QFETCH(QString, shown);
        TestRig rig;
        rig.network.addresses = addresses;
        Program& program = rig.start();
        program.state().localAddresses = {QStringLiteral("10.9.9.9")};
        ui(program).internalAddress->setText(QStringLiteral("10.9.9.9"));

        ui(program).addressButton->click();
        QCOMPARE(ui(program).internalAddress->text(), shown);
        QCOMPARE(program.state().localAddresses, addresses);
        QVERIFY(rig.dialogs.shown.isEmpty());
    }

    void click_showsThePublicAddress_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<Network::Outcome>("outcome");
        QTest::addColumn<QString>("shown");
        // What is said when no address could be had; nothing when one is shown.
        QTest::addColumn<QString>("said");
        const auto received = Network::Outcome::Received;
        const QString address = QStringLiteral("203.0.113.7");
        const QString unreadable = QStringLiteral("外网地址无法识别");
        QTest::newRow("GBK page") << GbkPage << QByteArray("GBK") << received << address
                                  << QString();
        QTest::newRow("UTF-8 page")
            << Utf8Page << QByteArray("utf-8") << received << address << QString();
        QTest::newRow("upper-case end marker")
            << QStringLiteral("你的外网IP地址是：203.0.113.7</P>").toUtf8() << QByteArray()
            << received << address << QString();
        QTest::newRow("bare address")
            << QByteArray("203.0.113.7\n") << QByteArray() << received << address << QString();
        QTest::newRow("bare IPv6 address") << QByteArray("2001:db8::7") << QByteArray() << received
                                           << QStringLiteral("2001:db8::7") << QString();
        QTest::newRow("a lone number is no address")
            << QByteArray("12345") << QByteArray() << received << QString() << unreadable;
        QTest::newRow("failed request") << QByteArray() << QByteArray() << Network::Outcome::Failed
                                        << QString() << QStringLiteral("外网地址查询失败");
        QTest::newRow("timed out") << QByteArray() << QByteArray() << Network::Outcome::TimedOut
                                   << QString() << QStringLiteral("外网地址查询超时");
        QTest::newRow("no </p>") << Utf8PageWithoutEnd << QByteArray("utf-8") << received
                                 << QString() << unreadable;
        QTest::newRow("no start marker") << QByteArray("<p>203.0.113.7</p>") << QByteArray()
                                         << received << QString() << unreadable;
    }
    void click_showsThePublicAddress() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, charset);
        QFETCH(Network::Outcome, outcome);
        QFETCH(QString, shown);
        QFETCH(QString, said);
        TestRig rig;
        rig.network.addresses = {QStringLiteral("127.0.0.1"), QStringLiteral("192.168.1.20")};
        rig.network.page = {body, charset, outcome};
        Program& program = rig.start();
        ui(program).externalAddress->setText(QStringLiteral("198.51.100.1"));
        const qsizetype spokenBefore = rig.speech.spoken.size();

        ui(program).addressButton->click();
        QCOMPARE(ui(program).externalAddress->text(), shown);
        QCOMPARE(ui(program).internalAddress->text(), QStringLiteral("192.168.1.20"));
        QCOMPARE(rig.network.gets.size(), 1);
        QCOMPARE(rig.network.gets[0], public_address::lookupUrl());
        QCOMPARE(rig.speech.spoken.mid(spokenBefore),
                 said.isEmpty() ? QStringList() : QStringList{said});
    }

    // The page shipped is a public one that answers over HTTPS.
    void lookupUrl_isAPublicHttpsPage() {
        const QUrl url = public_address::lookupUrl();
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QVERIFY(!url.host().endsWith(QStringLiteral("example.com")));
    }

    void click_duringTheFetch_startsNoSecondOne() {
        TestRig rig;
        rig.network.addresses = {QStringLiteral("127.0.0.1"), QStringLiteral("192.168.1.20")};
        rig.network.page = {Utf8Page, QByteArray("utf-8")};
        Program& program = rig.start();
        QString internalMeanwhile;
        rig.network.duringGet = [&](int get) {
            internalMeanwhile = ui(program).internalAddress->text();
            if (get == 0)
                ui(program).addressButton->click();
        };

        ui(program).addressButton->click();
        QCOMPARE(rig.network.gets.size(), 1);
        QCOMPARE(internalMeanwhile, QStringLiteral("192.168.1.20"));
        QCOMPARE(ui(program).externalAddress->text(), QStringLiteral("203.0.113.7"));

        // Once the page is in, the next click asks again.
        rig.network.page = {};
        ui(program).addressButton->click();
        QCOMPARE(rig.network.gets.size(), 2);
        QCOMPARE(ui(program).externalAddress->text(), QString());
    }
};

QTEST_MAIN(NetworkTest)
#include "test_network.moc"
