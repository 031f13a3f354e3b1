#include "offscreen_screen.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/tab_control.h"

#include <QAccessible>
#include <QGroupBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {
// The screens below the design's size, side by side, all at 200 % (each one's logical size is
// half the native one): a small monitor, a laptop, and a large screen whose scale leaves less
// than the design.
const QList<QSize> LogicalScreens{{1024, 768}, {1280, 800}, {1280, 720}};
// Whether the screen is too low for the window even with the horizontal scroll bar added.
const QList<bool> ScrollsDown{false, false, true};
constexpr int Scale = 2;

QString describe(const QRect& rect) {
    return QStringLiteral("%1,%2 %3x%4")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}

// The part of widget that its ancestors up to the window leave uncut, in window coordinates.
QRect uncutPart(const QWidget* widget) {
    const QWidget* window = widget->window();
    QRect part(widget->mapTo(window, QPoint(0, 0)), widget->size());
    for (const QWidget* above = widget->parentWidget(); above != window;
         above = above->parentWidget())
        part &= QRect(above->mapTo(window, QPoint(0, 0)), above->size());
    return part;
}
} // namespace

class SmallScreenTest : public QObject {
    Q_OBJECT
private slots:
    void everyControl_isReachedByScrolling_data() {
        QTest::addColumn<QSize>("screenSize");
        QTest::addColumn<bool>("scrollsDown");
        for (int i = 0; i < LogicalScreens.size(); ++i) {
            const QSize size = LogicalScreens[i];
            QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())))
                << size << ScrollsDown[i];
        }
    }
    void everyControl_isReachedByScrolling() {
        QFETCH(QSize, screenSize);
        QFETCH(bool, scrollsDown);
        QScreen* screen = nullptr;
        for (QScreen* candidate : QGuiApplication::screens())
            if (candidate->geometry().size() == screenSize)
                screen = candidate;
        QVERIFY(screen);

        MainWindow window;
        window.setScreen(screen);
        window.move(screen->geometry().topLeft() + QPoint(50, 50));
        TabControl& area = *window.ui().tileArea;
        // As with a board on every link, so that every page can be shown.
        for (int page = 0; page < area.pageCount(); ++page)
            area.setPageEnabled(page, true);
        area.show();
        window.show();
        window.fitDesignSize();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.screen(), screen);
        QVERIFY2(screen->availableGeometry().contains(window.frameGeometry()),
                 qPrintable(describe(window.frameGeometry())));

        auto* scroller = window.findChild<QScrollArea*>();
        QVERIFY(scroller);
        // Something lies beyond the viewport on every one of these screens, or nothing is tested.
        QVERIFY(scroller->horizontalScrollBar()->maximum() > 0);
        QCOMPARE(scroller->verticalScrollBar()->maximum() > 0, scrollsDown);
        const QRect viewport(scroller->viewport()->mapTo(&window, QPoint(0, 0)),
                             scroller->viewport()->size());

        int walked = 0;
        for (QWidget* control : window.findChildren<QWidget*>()) {
            // The window's controls are what a screen reader finds under their design names;
            // the pages are reached through their tiles.
            const QString name = control->objectName();
            const QAccessibleInterface* read = QAccessible::queryAccessibleInterface(control);
            if ((name != read->text(QAccessible::Description) || name.isEmpty() ||
                 area.indexOfPage(control) >= 0) &&
                control != window.ui().statusLine)
                continue;
            ++walked;
            QWidget* page = control;
            while (page && area.indexOfPage(page) < 0)
                page = page->parentWidget();
            if (page)
                QVERIFY(area.setCurrentPage(area.indexOfPage(page)));
            if (scroller->widget()->isAncestorOf(control))
                scroller->ensureWidgetVisible(control, 0, 0);
            QVERIFY2(control->isVisible(), qPrintable(name));
            const QRect whole(control->mapTo(&window, QPoint(0, 0)), control->size());
            QVERIFY2(uncutPart(control) == whole,
                     qPrintable(name + QLatin1Char(' ') + describe(uncutPart(control))));
            if (scroller->widget()->isAncestorOf(control))
                QVERIFY2(viewport.contains(whole),
                         qPrintable(name + QLatin1Char(' ') + describe(whole)));
            else
                QVERIFY2(window.rect().contains(whole), qPrintable(name));
            // Nothing else lies over it where it would be clicked (a container's middle may hold
            // a control of its own).
            if (!qobject_cast<QGroupBox*>(control) && control != &area) {
                const QPoint middle = whole.center();
                QWidget* hit = window.childAt(middle);
                QVERIFY2(hit == control || control->isAncestorOf(hit),
                         qPrintable(name + QStringLiteral(" under ") +
                                    (hit ? hit->objectName() : QStringLiteral("nothing"))));
            }
        }
        // The tile members, the other 38 controls that are widgets (the serial ports and the
        // receive buffers are not) and the status line.
        QCOMPARE(walked, 3 * TileCount + 38 + 1);
    }

    void statusLine_staysInViewWhateverIsScrolledTo() {
        QScreen* screen = QGuiApplication::screens().first();
        MainWindow window;
        window.setScreen(screen);
        window.ui().tileArea->show();
        window.show();
        window.fitDesignSize();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* scroller = window.findChild<QScrollArea*>();
        const StatusLine& line = *window.ui().statusLine;
        for (QScrollBar* bar : {scroller->horizontalScrollBar(), scroller->verticalScrollBar()})
            bar->setValue(bar->maximum());
        const QRect onWindow(line.mapTo(&window, QPoint(0, 0)), line.size());
        QVERIFY(window.rect().contains(onWindow));
        QCOMPARE(onWindow.width(), window.width() - 4);
        QVERIFY(onWindow.top() >= scroller->mapTo(&window, QPoint(0, scroller->height())).y());
    }
};

int main(int argc, char* argv[]) {
    QList<QSize> native;
    for (const QSize& size : LogicalScreens)
        native << size * Scale;
    const QString config = offscreen_screen::configure(native);
    qputenv("QT_SCALE_FACTOR", QByteArray::number(Scale));
    QApplication app(argc, argv);
    QFile::remove(config);
    SmallScreenTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_small_screen.moc"
