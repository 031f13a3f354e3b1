#include "fakes/test_rig.h"
#include "platform/tune_synth.h"
#include "ui/styled_button.h"

#include <QAction>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {
// Sign changes of the wave over samples [from, from + count): twice its pitch times the span.
int crossings(const std::vector<qint16>& samples, size_t from, size_t count) {
    int changes = 0;
    for (size_t i = from + 1; i < from + count; ++i)
        if ((samples[i - 1] < 0) != (samples[i] < 0))
            ++changes;
    return changes;
}
} // namespace

// The prompt-sound switch of the menu 设置 and the tune a tile button plays when clicked.
class PromptSoundTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        rig_ = std::make_unique<TestRig>();
        program_ = &rig_->start();
    }
    void cleanup() {
        program_ = nullptr;
        rig_.reset();
    }

    void item_togglesCaptionTickAndTheFirstButtonsSwitch_data() {
        QTest::addColumn<int>("choices");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("on");
        QTest::newRow("at start") << 0 << "提示音已关闭" << false;
        QTest::newRow("chosen once") << 1 << "提示音已打开" << true;
        QTest::newRow("chosen twice") << 2 << "提示音已关闭" << false;
        QTest::newRow("chosen three times") << 3 << "提示音已打开" << true;
    }
    void item_togglesCaptionTickAndTheFirstButtonsSwitch() {
        QFETCH(int, choices);
        QFETCH(QString, caption);
        QFETCH(bool, on);
        QAction* item = program_->window().ui().promptSoundItem;
        QVERIFY(item->isCheckable());
        for (int i = 0; i < choices; ++i)
            item->trigger();
        QCOMPARE(item->text(), caption);
        QCOMPARE(item->isChecked(), on);
        QCOMPARE(program_->window().tile(1).button->isSoundOn(), on);
        QCOMPARE(program_->window().tile(1).button->property("soundOn").toBool(), on);
        // Only 超级按钮1 is switched.
        const auto& ui = program_->window().ui();
        for (int tile : {2, 42, 43, 336})
            QVERIFY(!program_->window().tile(tile).button->isSoundOn());
        for (StyledButton* button :
             {ui.addDeviceButton, ui.searchButton, ui.viewButton, ui.favouriteViewButton})
            QVERIFY(!button->isSoundOn());
    }

    void click_playsTheTuneWhereTheSwitchIsOn_data() {
        QTest::addColumn<int>("choices");
        QTest::addColumn<int>("tile");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("plays");
        QTest::newRow("超级按钮1 on, not connected") << 1 << 1 << false << 1;
        QTest::newRow("超级按钮1 on, frame sent") << 1 << 1 << true << 1;
        QTest::newRow("超级按钮1 off at start") << 0 << 1 << true << 0;
        QTest::newRow("超级按钮1 switched off again") << 2 << 1 << true << 0;
        QTest::newRow("超级按钮2 with the item ticked") << 1 << 2 << true << 0;
        QTest::newRow("超级按钮2 not connected") << 1 << 2 << false << 0;
    }
    void click_playsTheTuneWhereTheSwitchIsOn() {
        QFETCH(int, choices);
        QFETCH(int, tile);
        QFETCH(bool, connected);
        QFETCH(int, plays);
        if (connected)
            connectLinkOne();
        for (int i = 0; i < choices; ++i)
            program_->window().ui().promptSoundItem->trigger();

        program_->window().tile(tile).button->click();
        QCOMPARE(rig_->tune.plays, plays);
        // The click did what it does anyway.
        QCOMPARE(rig_->bus.writes.size(), connected ? 1 : 0);
        if (!connected)
            QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("设备未连接"));
    }

    void click_playsOncePerClick() {
        program_->window().ui().promptSoundItem->trigger();
        StyledButton* button = program_->window().tile(1).button;
        button->click();
        button->click();
        QCOMPARE(rig_->tune.plays, 2);
    }

    void tune_isShortAudibleAndWithinRange() {
        const std::vector<qint16> samples = tune_synth::render();
        const size_t second = size_t(tune_synth::SampleRate);
        QVERIFY(samples.size() >= second / 10);
        QVERIFY(samples.size() <= second);
        const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
        const int peak = std::max(std::abs(int(*low)), std::abs(int(*high)));
        // Clearly heard, with headroom left below full scale.
        QVERIFY2(peak >= 32767 / 10, qPrintable(QString::number(peak)));
        QVERIFY2(peak <= 32767 / 2, qPrintable(QString::number(peak)));
        // Starts and ends in silence, so that it neither clicks in nor cuts off.
        QVERIFY(std::abs(int(samples.front())) <= 100);
        QVERIFY(std::abs(int(samples.back())) <= 100);
    }

    void tune_risesInPitch() {
        const std::vector<qint16> samples = tune_synth::render();
        // 40 ms from the start and up to 40 ms before the end lie in the first and last tone.
        const size_t span = size_t(tune_synth::SampleRate) * 40 / 1000;
        QVERIFY(samples.size() > 2 * span);
        const int first = crossings(samples, 0, span);
        const int last = crossings(samples, samples.size() - span, span);
        QVERIFY2(first > 0, qPrintable(QString::number(first)));
        QVERIFY2(last > first * 5 / 4, qPrintable(QStringLiteral("%1 %2").arg(first).arg(last)));
    }

private:
    // Board 0x0101 on serial port 11 answers for hub link 1.
    void connectLinkOne() {
        rig_->bus.addBoard(11, 0x0101);
        program_->port(1).setPortNumber(11);
        QVERIFY(program_->port(1).open());
        GlobalState& state = program_->state();

        state.links[0].deviceNumber = QStringLiteral("0101");
        program_->rack().linkFound(1, QStringLiteral("0101"), 11);
        state.connectDone = 1;
    }

    std::unique_ptr<TestRig> rig_;
    Program* program_ = nullptr;
};

QTEST_MAIN(PromptSoundTest)
#include "test_prompt_sound.moc"
