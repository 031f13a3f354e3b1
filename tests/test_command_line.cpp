// hubrixctl's command line: the tile lists and the requests they become.
#include "command_line.h"

#include <QJsonArray>
#include <QTest>

using command_line::Invocation;
using command_line::parse;
using command_line::parseTiles;

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void tiles_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("tiles");
        QTest::newRow("one") << "5" << QList<int>{5};
        QTest::newRow("range") << "40-43" << QList<int>{40, 41, 42, 43};
        QTest::newRow("mixed, in the order given")
            << "9,5,100-102" << QList<int>{9, 5, 100, 101, 102};
        QTest::newRow("each once") << "3,1-3" << QList<int>{3, 1, 2};
        QTest::newRow("last tile") << "336" << QList<int>{336};
        QTest::newRow("one-tile range") << "7-7" << QList<int>{7};
    }
    void tiles() {
        QFETCH(QString, text);
        QFETCH(QList<int>, tiles);
        QCOMPARE(parseTiles(text), std::optional<QList<int>>(tiles));
    }

    void link_isItsFortyTwoTiles() {
        const auto second = parseTiles(QStringLiteral("link:2"));
        QVERIFY(second);
        QCOMPARE(second->size(), 42);
        QCOMPARE(second->first(), 43);
        QCOMPARE(second->last(), 84);
        QCOMPARE(parseTiles(QStringLiteral("link:8"))->last(), 336);
    }

    void badTiles_areRefused_data() {
        QTest::addColumn<QString>("text");
        for (const char* text : {"", "0", "337", "5-3", "1,,2", "1-", "-4", "a", "+5", " 5",
                                 "link:0", "link:9", "link:", "link:1,2", "99999999999"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void badTiles_areRefused() {
        QFETCH(QString, text);
        QVERIFY(!parseTiles(text));
    }

    void optionsGoAnywhere_inEitherForm_andBecomeTheRequest() {
        QString error;
        const auto cycle = parse({"hubrixctl", "--off-ms=500", "cycle", "--dir", "/opt/hubrix",
                                  "5,7", "--timeout", "300", "--deadline=900"},
                                 &error);
        QVERIFY2(cycle, qPrintable(error));
        QCOMPARE(cycle->programDir, QStringLiteral("/opt/hubrix"));
        QCOMPARE(cycle->request.value("cmd").toString(), QStringLiteral("cycle"));
        QCOMPARE(cycle->request.value("tiles").toArray(), (QJsonArray{5, 7}));
        QCOMPARE(cycle->request.value("offMs").toInt(), 500);
        QCOMPARE(cycle->request.value("timeoutMs").toInt(), 300);
        QCOMPARE(cycle->deadlineMs, 900);
        QVERIFY(!cycle->json);

        const auto remark = parse({"hubrixctl", "remark", "4", "--", "--dashes--"}, &error);
        QVERIFY2(remark, qPrintable(error));
        QCOMPARE(remark->request.value("text").toString(), QStringLiteral("--dashes--"));
        QVERIFY(!remark->request.contains("tiles"));
        const auto read = parse({"hubrixctl", "remark", "4"}, &error);
        QVERIFY(!read->request.contains("text"));
        QVERIFY(parse({"hubrixctl", "events", "--json"}, &error)->json);
        QCOMPARE(parse({"hubrixctl", "status"}, &error)->deadlineMs,
                 command_line::DefaultDeadlineMs);
    }

    // A name goes to the program as it is, whatever it holds; the program has the remarks.
    void atName_isSentForTheProgramToResolve() {
        QString error;
        const auto named = parse({"hubrixctl", "toggle", "@phone 5,6"}, &error);
        QVERIFY2(named, qPrintable(error));
        QCOMPARE(named->request.value("name").toString(), QStringLiteral("phone 5,6"));
        QVERIFY(!named->request.contains("tiles"));
        QVERIFY(!parse({"hubrixctl", "get", "@"}, &error));
    }

    void helpAndVersion_askNoRequest() {
        QString error;
        QCOMPARE(parse({"hubrixctl", "-h"}, &error)->ask, Invocation::Ask::Help);
        QCOMPARE(parse({"hubrixctl", "status", "--version"}, &error)->ask,
                 Invocation::Ask::Version);
    }
};

QTEST_MAIN(CommandLineTest)
#include "test_command_line.moc"
