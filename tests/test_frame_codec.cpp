#include "fakes/bytes.h"
#include "hub/frame_assembler.h"
#include "hub/frame_codec.h"

#include <QTest>

class FrameCodecTest : public QObject {
    Q_OBJECT
private slots:
    void byteToHex_givesTwoUpperCaseDigitsOfTheLowByte() {
        QCOMPARE(byte_to_hex(0), QStringLiteral("00"));
        QCOMPARE(byte_to_hex(10), QStringLiteral("0A"));
        QCOMPARE(byte_to_hex(255), QStringLiteral("FF"));
        QCOMPARE(byte_to_hex(460), QStringLiteral("CC"));
    }

    void hexToBytes_readsPairsIgnoringSeparatorsAndCase() {
        QCOMPARE(hex_to_bytes(QStringLiteral("{A5,A6}")), bytes({0xA5, 0xA6}));
        QCOMPARE(hex_to_bytes(QStringLiteral("a5A6")), bytes({0xA5, 0xA6}));
        QCOMPARE(hex_to_bytes(QString()), QByteArray());
        QCOMPARE(hex_to_bytes(QStringLiteral("A5A")), bytes({0xA5, 0x0A}));
    }

    void hexToInt_readsUpToEightDigitsAndRejectsTheRest() {
        QCOMPARE(hex_to_int(QStringLiteral("00FF")), 255);
        QCOMPARE(hex_to_int(QStringLiteral("0102")), 258);
        QCOMPARE(hex_to_int(QStringLiteral("ab")), 171);
        QCOMPARE(hex_to_int(QStringLiteral("0g")), -1);
        QCOMPARE(hex_to_int(QStringLiteral("123456789")), -1);
        QCOMPARE(hex_to_int(QStringLiteral("7FFFFFFF")), 0x7FFFFFFF);
        QCOMPARE(hex_to_int(QString()), 0);
    }

    void textBetween_cutsBetweenFirstMarkersIgnoringCase() {
        QCOMPARE(text_between(QStringLiteral("A5A681A7"), QStringLiteral("6"), QStringLiteral("A")),
                 QStringLiteral("81"));
        QCOMPARE(text_between(QStringLiteral("A5A68100"), QStringLiteral("6"), QStringLiteral("A")),
                 QString());
        QCOMPARE(text_between(QStringLiteral("A5A5"), QStringLiteral("6"), QStringLiteral("A")),
                 QString());
        QCOMPARE(
            text_between(QStringLiteral("a5a68107a7"), QStringLiteral("6"), QStringLiteral("A")),
            QStringLiteral("8107"));
        QCOMPARE(text_between(QStringLiteral("x6A"), QStringLiteral("6"), QStringLiteral("A")),
                 QString());
        QCOMPARE(text_between(QStringLiteral("A5A681A7"), QString(), QStringLiteral("A")),
                 QString());
    }

    void queryFrame_matchesTheBoardsBytes() {
        QCOMPARE(hex_to_bytes(frame::queryText(1)),
                 bytes({0xA5, 0xA6, 0x80, 0x01, 0, 0, 0, 0, 0, 0xCC, 0xA7, 0xA8}));
        QCOMPARE(hex_to_bytes(frame::queryText(30)),
                 bytes({0xA5, 0xA6, 0x80, 0x1E, 0, 0, 0, 0, 0, 0xE9, 0xA7, 0xA8}));
        QCOMPARE(hex_to_bytes(frame::BoundQueryText), hex_to_bytes(frame::queryText(1)));
        for (int n = 1; n <= 30; ++n) {
            const QByteArray frame = hex_to_bytes(frame::queryText(n));
            QCOMPARE(frame.size(), 12);
            int sum = 0;
            for (int i = 0; i < 9; ++i)
                sum += quint8(frame[i]);
            QCOMPARE(quint8(frame[9]), quint8(sum));
        }
    }

    void switchFrame_checksumLeavesOutOffsetFour_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("slot");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("device 0102 slot 5 on")
            << "03"
            << "0102" << 5 << true
            << bytes({0xA5, 0xA6, 0x81, 0x03, 0x01, 0x02, 0x00, 0x05, 0x01, 0xD7, 0xA7, 0xA8});
        QTest::newRow("device 0002 has the same checksum")
            << "03"
            << "0002" << 5 << true
            << bytes({0xA5, 0xA6, 0x81, 0x03, 0x00, 0x02, 0x00, 0x05, 0x01, 0xD7, 0xA7, 0xA8});
        QTest::newRow("tile 1 device 0000")
            << "01"
            << "0000" << 1 << true
            << bytes({0xA5, 0xA6, 0x81, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0xCF, 0xA7, 0xA8});
        QTest::newRow("tile 1 device 0100")
            << "01"
            << "0100" << 1 << true
            << bytes({0xA5, 0xA6, 0x81, 0x01, 0x01, 0x00, 0x00, 0x01, 0x01, 0xCF, 0xA7, 0xA8});
        QTest::newRow("slot 42 off") << "1D"
                                     << "1A2B" << 42 << false
                                     << bytes({0xA5, 0xA6, 0x81, 0x1D, 0x1A, 0x2B, 0x00, 0x2A, 0x00,
                                               (460 + 0x1D + 0x2B + 42) & 0xFF, 0xA7, 0xA8});
    }
    void switchFrame_checksumLeavesOutOffsetFour() {
        QFETCH(QString, address);
        QFETCH(QString, device);
        QFETCH(int, slot);
        QFETCH(bool, on);
        QFETCH(QByteArray, expected);
        const QString text =
            frame::switchText(address, device, slot, on ? frame::Command::On : frame::Command::Off);
        QCOMPARE(text.size(), frame::TextLength);
        QCOMPARE(hex_to_bytes(text), expected);
    }

    void confirmationKey_runsFromFrameKindToFirstDigitA() {
        QCOMPARE(frame::confirmationKey(QStringLiteral("A5A681030102000501D7A7A8")),
                 QStringLiteral("81030102000501D7"));
        const QString slotTen =
            frame::switchText(QStringLiteral("03"), QStringLiteral("0102"), 10, frame::Command::On);
        QCOMPARE(slotTen.mid(14, 2), QStringLiteral("0A"));
        QCOMPARE(frame::confirmationKey(slotTen), QStringLiteral("81030102000"));
    }

    void deviceNumber_isOffsetsFourAndFive() {
        QCOMPARE(frame::deviceNumber(QStringLiteral("A5A68001123400000000A7A8")),
                 QStringLiteral("1234"));
    }

    void assembler_completesAFrameEveryTwelveBytes() {
        FrameAssembler assembler;
        QCOMPARE(assembler.answerLength(), 0);
        const QByteArray reply =
            bytes({0xA5, 0xA6, 0x80, 0x01, 0x12, 0x34, 0, 0, 0, 0x6E, 0xA7, 0xA8, 0xA5});
        std::optional<QString> frame;
        for (int i = 0; i < 11; ++i)
            QVERIFY(!assembler.push(quint8(reply[i]), 0));
        QCOMPARE(assembler.answerLength(), 22);
        frame = assembler.push(quint8(reply[11]), 0);
        QVERIFY(frame);
        QCOMPARE(*frame, QStringLiteral("A5A680011234000000 6EA7A8").remove(u' '));
        QCOMPARE(assembler.answerLength(), 24);
        QVERIFY(!assembler.push(quint8(reply[12]), 0));
        QCOMPARE(assembler.answerLength(), 2);
    }

    void assembler_dropsAnUnfinishedFrameAfterAPause() {
        FrameAssembler assembler;
        QVERIFY(!assembler.push(0x00, 0)); // a stray byte
        const QByteArray reply =
            bytes({0xA5, 0xA6, 0x80, 0x01, 0x12, 0x34, 0, 0, 0, 0x6E, 0xA7, 0xA8});
        std::optional<QString> frame;
        for (int i = 0; i < 12; ++i)
            frame = assembler.push(quint8(reply[i]), 100 + i / 10);
        QVERIFY(frame);
        QCOMPARE(frame::deviceNumber(*frame), QStringLiteral("1234"));
    }

    void assembler_keepsCountingWithoutAPause() {
        FrameAssembler assembler;
        std::optional<QString> frame;
        for (int i = 0; i < 12; ++i)
            frame = assembler.push(quint8(i), i * FrameAssembler::GapMs);
        QVERIFY(frame);
        QCOMPARE(*frame, QStringLiteral("000102030405060708090A0B"));
    }

    void assembler_resetForgetsTheAnswerButKeepsAnUnfinishedFrame() {
        FrameAssembler assembler;
        for (int i = 0; i < 5; ++i)
            assembler.push(0x11, 0);
        assembler.reset();
        QCOMPARE(assembler.answerLength(), 0);
        assembler.push(0x11, 1);
        QCOMPARE(assembler.answerLength(), 12);
    }
};

QTEST_GUILESS_MAIN(FrameCodecTest)
#include "test_frame_codec.moc"
