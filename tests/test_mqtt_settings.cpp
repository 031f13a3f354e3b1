// What hubrix.conf's [mqtt] section makes of the bridge: defaults, and the settings refused
// because they would put the lab's racks in reach of others.
#include "fakes/real_rig.h"
#include "mqtt/bridge_settings.h"
#include "mqtt/mqtt_bridge.h"
#include "platform/control_address.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Store {
    QTemporaryDir dir;

    BridgeSettings::Reading read(const QByteArray& settings) {
        QFile file(dir.filePath(QStringLiteral("hubrix.conf")));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write hubrix.conf");
        file.write(settings);
        file.close();
        return BridgeSettings::read(dir.path(), QStringLiteral("bench7"));
    }
    void password(QFileDevice::Permissions permissions) {
        QFile file(dir.filePath(QStringLiteral("secret")));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the password");
        file.write("s3cret\n");
        file.setPermissions(permissions);
    }
};

constexpr auto OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
} // namespace

class MqttSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
    }

    void withoutFileOrHost_theBridgeIsOff() {
        QTemporaryDir empty;
        QVERIFY(std::holds_alternative<BridgeSettings::Off>(
            BridgeSettings::read(empty.path(), QStringLiteral("bench7"))));
        Store store;
        QVERIFY(std::holds_alternative<BridgeSettings::Off>(store.read("[mqtt]\nport = 1884\n")));
    }

    void defaults_nameThisHostAndThisStoreDirectory() {
        Store store;
        const auto reading = store.read("[mqtt]\nhost = broker.lab\n");
        const auto* settings = std::get_if<BridgeSettings>(&reading);
        QVERIFY(settings);
        const QString digits =
            QFileInfo(control_address::socketPath(store.dir.path())).completeBaseName().mid(7);
        QCOMPARE(digits.size(), 16);
        QCOMPARE(settings->prefix, QStringLiteral("hubrix/bench7/") + digits);
        QCOMPARE(settings->clientId, QStringLiteral("hubrix-bench7-") + digits);
        QCOMPARE(settings->port, 1883);
        QCOMPARE(settings->keepaliveSeconds, 10);
        QVERIFY(!settings->tls);

        const auto secure = store.read("[mqtt]\nhost = broker.lab\ntls = true\nprefix = lab/a/\n");
        QCOMPARE(std::get<BridgeSettings>(secure).port, 8883);
        QCOMPARE(std::get<BridgeSettings>(secure).prefix, QStringLiteral("lab/a"));
    }

    void passwordFile_mustBeTheUsersAlone() {
        Store store;
        const QByteArray settings =
            "[mqtt]\nhost = 127.0.0.1\nusername = rack\npassword_file = secret\n";
        store.password(OwnerOnly | QFileDevice::ReadOther);
        QVERIFY(std::holds_alternative<BridgeSettings::Refused>(store.read(settings)));
        store.password(OwnerOnly | QFileDevice::ReadGroup);
        QVERIFY(std::holds_alternative<BridgeSettings::Refused>(store.read(settings)));
        store.password(OwnerOnly);
        const auto reading = store.read(settings);
        QCOMPARE(std::get<BridgeSettings>(reading).password, QStringLiteral("s3cret"));
    }

    void aPlainPasswordLeavesThisMachine_onlyWhenAllowed() {
        Store store;
        store.password(OwnerOnly);
        const QByteArray away = "[mqtt]\nusername = rack\npassword_file = secret\nhost = ";
        for (const QByteArray host : {"192.0.2.7", "broker.lab", "::2"}) {
            const auto refused = store.read(away + host + "\n");
            QVERIFY2(std::holds_alternative<BridgeSettings::Refused>(refused), host);
            QVERIFY(std::get<BridgeSettings::Refused>(refused).why.contains("allow_insecure"));
            QVERIFY(std::holds_alternative<BridgeSettings>(
                store.read(away + host + "\nallow_insecure = true\n")));
            QVERIFY(
                std::holds_alternative<BridgeSettings>(store.read(away + host + "\ntls = true\n")));
        }
        for (const QByteArray host : {"localhost", "127.0.0.1", "127.1.2.3", "::1"})
            QVERIFY2(std::holds_alternative<BridgeSettings>(store.read(away + host + "\n")), host);
    }

    void keepaliveAndPort_outOfRange_areRefused() {
        Store store;
        QVERIFY(std::holds_alternative<BridgeSettings::Refused>(
            store.read("[mqtt]\nhost = 127.0.0.1\nkeepalive = 2\n")));
        QVERIFY(std::holds_alternative<BridgeSettings::Refused>(
            store.read("[mqtt]\nhost = 127.0.0.1\nport = 70000\n")));
        QVERIFY(std::holds_alternative<BridgeSettings::Refused>(
            store.read("[mqtt]\nhost = 127.0.0.1\nprefix = lab/#\n")));
    }

    // The client library and the TLS libraries behind it cost every start time; only a
    // configured bridge loads them.
    void theClientLibrary_isLoadedOnlyForAConfiguredBridge() {
        const auto loaded = [] {
            QFile maps(QStringLiteral("/proc/self/maps"));
            return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libmosquitto");
        };
        RealRig rig;
        Program& program = rig.start();
        QVERIFY(!MqttBridge::start(program.context(), {MQTT_MODULE_DIR}));
        QVERIFY(!loaded());
        QFile settings(rig.path(QStringLiteral("/hubrix.conf")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[mqtt]\nhost = 127.0.0.1\nport = 1\n");
        settings.close();
        QVERIFY(MqttBridge::start(program.context(), {MQTT_MODULE_DIR}));
        QVERIFY(loaded());
    }

private:
    QTemporaryDir runtime_;
};

QTEST_MAIN(MqttSettingsTest)
#include "test_mqtt_settings.moc"
