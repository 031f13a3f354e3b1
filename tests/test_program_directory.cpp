#include "app/program_directory.h"
#include "fakes/test_rig.h"

#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QStandardPaths>
#include <QTest>

#include <optional>

// Which executable paths give a directory the program can keep its files in, and which
// directory then holds its stores.
class ProgramDirectoryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The user's data directory goes to a test location instead of the real one.
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(QStringLiteral("hubrix"));
    }
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

    void keepsStoresBeside_data() {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("beside");
        QTest::newRow("portable copy") << QStringLiteral("/home/op/hubrix") << true << true;
        QTest::newRow("portable copy in /opt") << QStringLiteral("/opt/hubrix") << true << true;
        QTest::newRow("read-only copy") << QStringLiteral("/home/op/hubrix") << false << false;
        QTest::newRow("installed, run as root") << QStringLiteral("/usr/bin") << true << false;
        QTest::newRow("installed, run as a user") << QStringLiteral("/usr/bin") << false << false;
        QTest::newRow("under /usr/local") << QStringLiteral("/usr/local/bin") << true << false;
        QTest::newRow("under /usr/lib") << QStringLiteral("/usr/lib/hubrix") << true << false;
        QTest::newRow("install directory")
            << QStringLiteral(HUBRIX_INSTALL_BINDIR) << true << false;
        QTest::newRow("in the root") << QString() << true << true;
        // Only the whole name of a system tree counts, not a directory that begins like one.
        QTest::newRow("only named like /usr") << QStringLiteral("/usrdata/hubrix") << true << true;
        QTest::newRow("/usr by a detour") << QStringLiteral("/home/../usr/bin") << true << false;
    }
    void keepsStoresBeside() {
        QFETCH(QString, programDir);
        QFETCH(bool, writable);
        QFETCH(bool, beside);
        QCOMPARE(program_directory::keepsStoresBeside(programDir, writable), beside);
    }

    void isWritable_onlyForADirectoryThatTakesFiles() {
        QTemporaryDir dir;
        QVERIFY(program_directory::isWritable(dir.path()));
        QVERIFY(!program_directory::isWritable(dir.path() + QStringLiteral("/missing")));
    }

    void storeDirectory_aWritableOwnDirectoryIsItself() {
        QTemporaryDir dir;
        QCOMPARE(program_directory::storeDirectory(dir.path()), std::optional(dir.path()));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void storeDirectory_installedGoesToTheUserDataDirectoryAndCreatesIt() {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(data.endsWith(QStringLiteral("/hubrix")));
        QDir(data).removeRecursively();
        QCOMPARE(program_directory::storeDirectory(QStringLiteral("/usr/bin")),
                 std::optional(data));
        QVERIFY(QFileInfo(data).isDir());
        QDir(data).removeRecursively();
    }

    void storeDirectory_noneWhenTheDataDirectoryCannotBeMade() {
        // A file where the data directory's parent should be keeps it from being created.
        QTemporaryDir home;
        QFile blocker(home.path() + QStringLiteral("/share"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        QStandardPaths::setTestModeEnabled(false);
        qputenv("XDG_DATA_HOME", QFile::encodeName(blocker.fileName()));
        const std::optional<QString> found =
            program_directory::storeDirectory(QStringLiteral("/usr/bin"));
        const QString message = program_directory::noStoreDirectoryMessage();
        if (saved.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", saved);
        QStandardPaths::setTestModeEnabled(true);
        QCOMPARE(found, std::nullopt);
        QVERIFY(message.contains(blocker.fileName() + QStringLiteral("/hubrix")));
    }

    void window_tellsWhichDirectoryHoldsTheStores() {
        TestRig rig;
        Program& program = rig.start();
        QCOMPARE(program.window().menuBar()->toolTip(),
                 QStringLiteral("数据目录：") + rig.dir.path());
        // The stores are where the note says.
        QVERIFY(QFileInfo::exists(rig.path(QStringLiteral("/备注数据库.edb"))));
    }

    void executablePath_isThisTestProgram() {
        QVERIFY(program_directory::executablePath().endsWith("/test_program_directory"));
    }
};

QTEST_MAIN(ProgramDirectoryTest)
#include "test_program_directory.moc"
