// Serial devices that cannot be opened, through the program's real serial code on the
// simulated rack's pseudo-terminals.
#include "hubsim/hub_rack.h"
#include "platform/port_locator.h"
#include "platform/qt_serial_port.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr uid_t Nobody = 65534;
constexpr int NoAccountChange = 126;

bool setMode(const QString& path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}
} // namespace

Q_DECLARE_METATYPE(SerialPort::OpenError)

class RefusedPortTest : public QObject {
    Q_OBJECT
private slots:
    // Only a refusal may count as one: the hint would send an operator whose board another
    // program holds to change accounts for nothing.
    void failedOpen_saysWhy_data() {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<SerialPort::OpenError>("error");
        QTest::newRow("held by another link") << 1 << SerialPort::OpenError::Busy;
        QTest::newRow("no entry") << 2 << SerialPort::OpenError::NotFound;
        QTest::newRow("entry leading nowhere") << 3 << SerialPort::OpenError::NotFound;
    }
    void failedOpen_saysWhy() {
        QFETCH(int, portNumber);
        QFETCH(SerialPort::OpenError, error);
        QTemporaryDir dir;
        HubRack rack(dir.path());
        QVERIFY(rack.addSilentPort(1));
        QVERIFY(QFile::link(dir.path() + QStringLiteral("/gone/ttyUSB9"), rack.linkPath(3)));
        const PortLocator locator(dir.path());
        QtSerialPort holder(locator);
        holder.setPortNumber(1);
        QVERIFY(holder.open());
        QCOMPARE(holder.lastOpenError(), SerialPort::OpenError::None);

        QtSerialPort port(locator);
        port.setPortNumber(portNumber);
        QVERIFY(!port.open());
        QCOMPARE(port.lastOpenError(), error);
        port.setPortNumber(1);
        holder.close();
        QVERIFY(port.open());
        QCOMPARE(port.lastOpenError(), SerialPort::OpenError::None);
    }

    // Another program that asks for the device's lock while a link holds it is refused, root
    // included; once the link has closed the port, the lock is free again.
    void heldPort_isLockedAgainstAnotherOpener() {
        QTemporaryDir dir;
        HubRack rack(dir.path());
        QVERIFY(rack.addSilentPort(1));
        const PortLocator locator(dir.path());
        QtSerialPort link(locator);
        link.setPortNumber(1);
        QVERIFY(link.open());

        const QByteArray device = QFile::encodeName(rack.linkPath(1));
        const int other = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(other >= 0);
        QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), -1);
        QCOMPARE(errno, EWOULDBLOCK);
        link.close();
        QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
        // Now the other program holds it, and the link finds the port busy.
        QVERIFY(!link.open());
        QCOMPARE(link.lastOpenError(), SerialPort::OpenError::Busy);
        ::close(other);
        QVERIFY(link.open());
    }

    // A device of mode 000 beside one that opens and one that another program holds: the box
    // counts the one refused port. Root opens any device whatever its mode, so as root the
    // run goes to a child process that gives up root for the account nobody first.
    void modeZeroDevice_isCountedInTheNoBoardBox() {
        QTemporaryDir dir;
        HubRack rack(dir.path());
        for (int port = 1; port <= 3; ++port)
            QVERIFY(rack.addSilentPort(port));
        QVERIFY(setMode(rack.devicePath(1), 0));
        QVERIFY(setMode(rack.devicePath(2), 0666));
        QVERIFY(setMode(rack.devicePath(3), 0666));
        QVERIFY(setMode(dir.path(), 0777));
        const PortLocator locator(dir.path());
        QtSerialPort otherProgram(locator);
        otherProgram.setPortNumber(3);
        QVERIFY(otherProgram.open());

        // The build tree may be closed to other accounts; the directory is open to all.
        const QString report = dir.filePath(QStringLiteral("connect_run_report"));
        QVERIFY(QFile::copy(QStringLiteral(CONNECT_RUN_REPORT), report));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), dir.path());
        child.setProcessEnvironment(environment);
        if (::geteuid() == 0) {
            child.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
                    ::_exit(NoAccountChange);
            });
        }
        child.start(report, {dir.path()});
        QVERIFY(child.waitForFinished(60'000));
        if (child.exitCode() == NoAccountChange)
            QSKIP("root may not change its account here");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        const QStringList boxes =
            QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(boxes.size(), 1);
        const QStringList parts = boxes[0].split(u'\t');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[0], QStringLiteral("没有找到可连接的设备"));
        QCOMPARE(parts[1], QStringLiteral("设备未找到"));
        QVERIFY2(parts[2].startsWith(QStringLiteral("有1个串口存在")), qPrintable(parts[2]));
        QVERIFY(parts[2].contains(QStringLiteral("dialout")));
    }
};

QTEST_MAIN(RefusedPortTest)
#include "test_refused_port.moc"
