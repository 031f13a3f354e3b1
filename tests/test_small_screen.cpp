#include "offscreen_screen.h"
#include "ui/drop_list.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QListWidget>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

// The window on a 2560 x 1440 screen at QT_SCALE_FACTOR=2, which leaves 1280 x 720 for a
// design of 1303 x 741: the window fits the screen and every control can be scrolled to.
class SmallScreenTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        window_ = std::make_unique<MainWindow>();
        window_->ui().tileArea->show();
        window_->show();
        window_->fitDesignSize();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup() { window_.reset(); }

    void screen_isTheScaledLargeScreen() {
        QCOMPARE(window_->screen()->geometry().size(), QSize(1280, 720));
    }

    void window_fitsTheScreen() {
        const QRect available = window_->screen()->availableGeometry();
        QVERIFY2(available.contains(window_->frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(window_->frameGeometry().x())
                                .arg(window_->frameGeometry().y())
                                .arg(window_->frameGeometry().width())
                                .arg(window_->frameGeometry().height())));
    }

    void controlsBeyondTheEdge_areReachedByScrolling_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("favourites, right edge") << QStringLiteral("组合框3");
        QTest::newRow("search group, right edge") << QStringLiteral("分组框5");
        QTest::newRow("open devices, bottom right") << QStringLiteral("列表框1");
        QTest::newRow("last tile on its page") << QStringLiteral("超级按钮42");
        QTest::newRow("connect button, top left") << QStringLiteral("按钮1_查询连接");
    }
    void controlsBeyondTheEdge_areReachedByScrolling() {
        QFETCH(QString, name);
        auto* scroller = qobject_cast<QScrollArea*>(window_->centralWidget());
        QVERIFY(scroller);
        QWidget* control = window_->findChild<QWidget*>(name);
        QVERIFY(control);
        // Some control lies beyond the viewport before scrolling, or there is nothing to test.
        QVERIFY(scroller->horizontalScrollBar()->maximum() > 0);
        QVERIFY(scroller->verticalScrollBar()->maximum() > 0);
        scroller->ensureWidgetVisible(control, 0, 0);
        const QRect onViewport(control->mapTo(scroller->viewport(), QPoint(0, 0)), control->size());
        QVERIFY2(scroller->viewport()->rect().contains(onViewport), qPrintable(name));
    }

private:
    std::unique_ptr<MainWindow> window_;
};

int main(int argc, char* argv[]) {
    const QString config = offscreen_screen::configure(2560, 1440);
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    QFile::remove(config);
    SmallScreenTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_small_screen.moc"
