// The status line under the tile area: every prompt spoken is also shown, with its time, and
// the last few are in its tooltip and accessible description.
#include "fakes/test_rig.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QAccessible>
#include <QRegularExpression>
#include <QTest>

#include <thread>

namespace {
StatusLine& statusLine(TestRig& rig) {
    return *rig.program->window().ui().statusLine;
}

// A shown line without its time.
QString textOf(const QString& line) {
    static const QRegularExpression Time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  "));
    const auto match = Time.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QStringLiteral("<no time>");
}
} // namespace

class StatusLineTest : public QObject {
    Q_OBJECT
private slots:
    void init() { rig_ = std::make_unique<TestRig>(); }
    void cleanup() { rig_.reset(); }

    void line_showsTheGreetingOfTheStart() {
        rig_->start();
        QVERIFY(rig_->speech.spoken.contains(QStringLiteral("欢迎使用Hubrix")));
        QCOMPARE(textOf(statusLine(*rig_).text()), rig_->speech.spoken.last());
    }

    void line_showsEveryPromptInOrder() {
        rig_->start();
        const MainWindow& window = rig_->program->window();
        // Prompts of the handlers themselves: clicks on tiles before any board was found.
        const qsizetype atStart = rig_->speech.spoken.size();
        window.tile(5).button->click();
        window.tile(300).button->click();
        const QStringList spoken = rig_->speech.spoken;
        QCOMPARE(spoken.size(), atStart + 2);

        StatusLine& line = statusLine(*rig_);
        QCOMPARE(textOf(line.text()), spoken.last());
        QStringList shown;
        for (const QString& entry : line.history())
            shown.append(textOf(entry));
        QCOMPARE(shown,
                 spoken.mid(std::max<qsizetype>(0, spoken.size() - StatusLine::HistorySize)));
        QCOMPARE(line.toolTip(), line.history().join(u'\n'));
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&line);
        QCOMPARE(face->text(QAccessible::Name), line.text());
        QCOMPARE(face->text(QAccessible::Description), line.history().join(u'\n'));
    }

    void history_keepsTheLastFewOnly() {
        rig_->start();
        StatusLine& line = statusLine(*rig_);
        for (int i = 1; i <= StatusLine::HistorySize + 3; ++i)
            line.showLine(QStringLiteral("提示%1").arg(i), QTime(9, 5, i));
        QCOMPARE(line.history().size(), StatusLine::HistorySize);
        QCOMPARE(line.history().first(), QStringLiteral("09:05:04  提示4"));
        QCOMPARE(line.text(), QStringLiteral("09:05:08  提示8"));
    }

    void silence_isShownWhenTheEngineReportsIt() {
        rig_->start();
        QVERIFY(rig_->speech.silenceReport);
        // The engine finds out on its own thread.
        std::thread engine(
            [this] { rig_->speech.silenceReport(QStringLiteral("没有可用的声音设备")); });
        engine.join();
        QTRY_COMPARE(textOf(statusLine(*rig_).text()), QStringLiteral("没有可用的声音设备"));
        rig_->program->window().tile(5).button->click();
        QCOMPARE(textOf(statusLine(*rig_).text()), rig_->speech.spoken.last());
        QCOMPARE(textOf(statusLine(*rig_).history().at(statusLine(*rig_).history().size() - 2)),
                 QStringLiteral("没有可用的声音设备"));
    }

    void silence_reportOutlivesTheProgram() {
        rig_->start();
        Speech::SilenceReport report = rig_->speech.silenceReport;
        QVERIFY(report);
        rig_->stop();
        // Dropped with the program: a late report from the engine reaches nobody.
        QVERIFY(!rig_->speech.silenceReport);
    }

    void line_liesUnderTheTileAreaInsideTheWindow() {
        rig_->start();
        MainWindow& window = rig_->program->window();
        window.show();
        window.fitDesignSize();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto onWindow = [&window](const QWidget* widget) {
            return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        };
        const QRect line = onWindow(&statusLine(*rig_));
        QVERIFY(line.top() > onWindow(window.ui().tileArea).bottom());
        QVERIFY(window.rect().contains(line));
        QVERIFY(statusLine(*rig_).isVisible());
    }

private:
    std::unique_ptr<TestRig> rig_;
};

QTEST_MAIN(StatusLineTest)
#include "test_status_line.moc"
