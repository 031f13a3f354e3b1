#include "app/program_directory.h"

#include <QTest>

#include <optional>

// Which executable paths give a directory the program can keep its files in.
class ProgramDirectoryTest : public QObject {
    Q_OBJECT
private slots:
    void fromExecutablePath_data() {
        QTest::addColumn<QByteArray>("executable");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("directory");
        QTest::newRow("plain") << QByteArray("/opt/hubrix/hubrix") << true
                               << QStringLiteral("/opt/hubrix");
        QTest::newRow("chinese in UTF-8") << QStringLiteral("/home/操作员/设备管理/hubrix").toUtf8()
                                          << true << QStringLiteral("/home/操作员/设备管理");
        QTest::newRow("spaces and quotes")
            << QByteArray("/tmp/a b'c/hubrix") << true << QStringLiteral("/tmp/a b'c");
        // A name in another code page, as a GBK system would have written 备.
        QTest::newRow("not UTF-8") << QByteArray("/tmp/x_\xb1\xb8/hubrix") << false << QString();
        QTest::newRow("cut UTF-8") << QByteArray("/tmp/\xe6\x93/hubrix") << false << QString();
        QTest::newRow("in the root") << QByteArray("/hubrix") << true << QString();
        QTest::newRow("no directory at all") << QByteArray("hubrix") << false << QString();
    }
    void fromExecutablePath() {
        QFETCH(QByteArray, executable);
        QFETCH(bool, usable);
        QFETCH(QString, directory);
        const std::optional<QString> found = program_directory::fromExecutablePath(executable);
        QCOMPARE(found.has_value(), usable);
        if (usable)
            QCOMPARE(*found, directory);
    }

    void unusableMessage_namesTheDirectory() {
        const QString message =
            program_directory::unusableMessage(QByteArray("/tmp/x_\xb1\xb8/hubrix"));
        QVERIFY(message.contains(QStringLiteral("/tmp/x_")));
        QVERIFY(message.contains(QStringLiteral("无法使用")));
    }

    void executablePath_isThisTestProgram() {
        QVERIFY(program_directory::executablePath().endsWith("/test_program_directory"));
    }
};

QTEST_MAIN(ProgramDirectoryTest)
#include "test_program_directory.moc"
