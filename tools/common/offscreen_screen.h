#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

// The offscreen platform's screen is 800 x 600 unless told otherwise; a test of the window's
// size, or a picture of it, runs offscreen on a screen of the size it names, given to the
// platform before the application starts. Returns the file that told the platform, which the
// caller removes once the application has started.
namespace offscreen_screen {

// Several screens lie side by side, left to right in the order given.
inline QString configure(const QList<QSize>& sizes) {
    const QString file =
        QDir::tempPath() +
        QStringLiteral("/hubrix-screen-%1.json").arg(QCoreApplication::applicationPid());
    QStringList screens;
    int left = 0;
    for (const QSize& size : sizes) {
        screens << QStringLiteral("{\"name\": \"screen%1\", \"x\": %2, \"y\": 0, \"width\": %3, "
                                  "\"height\": %4, \"logicalDpi\": 96}")
                       .arg(screens.size() + 1)
                       .arg(left)
                       .arg(size.width())
                       .arg(size.height());
        left += size.width();
    }
    QFile config(file);
    if (config.open(QIODevice::WriteOnly))
        config.write((QStringLiteral("{\"screens\": [") + screens.join(u',') + QStringLiteral("]}"))
                         .toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file));
    return file;
}

inline QString configure(int width, int height) {
    return configure({QSize(width, height)});
}

} // namespace offscreen_screen

// QTEST_MAIN on a screen of the given size.
#define HUBRIX_TEST_MAIN_ON_SCREEN(TestObject, width, height)                                      \
    int main(int argc, char* argv[]) {                                                             \
        const QString config = offscreen_screen::configure(width, height);                         \
        QApplication app(argc, argv);                                                              \
        QFile::remove(config);                                                                     \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
