// Every prompt the program can speak, through the real espeak-ng engine: each must come out as
// Mandarin, with no switch to another language. The prompts are read from the sources, from
// the argument of every speak( call, so that a new prompt cannot escape the test.
#include "platform/espeak_engine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {
// Where the prompts pass through on their way to the engine; they forward text they did not
// write.
bool isSpeechPassage(const QString& path) {
    return path.contains(QStringLiteral("/platform/")) ||
           path.contains(QStringLiteral("/app/announcing_speech"));
}

// The rules that the window's handlers and the scripting channel share hand their prompt to
// whoever speaks it; every literal those files write is a prompt.
bool isPromptRule(const QString& path) {
    return path.endsWith(QStringLiteral("/tiles/tile_click_rules.cpp")) ||
           path.endsWith(QStringLiteral("/tiles/remark_editing.cpp")) ||
           path.endsWith(QStringLiteral("/tiles/remark_editing.h"));
}
// Calls that speak what such a rule handed them.
bool speaksARulesPrompt(const QString& argument) {
    static const QRegularExpression Forwarded(
        QStringLiteral("^\\s*(refused->prompt|remark_rules::\\w+Prompt|prompt)\\s*$"));
    return Forwarded.match(argument).hasMatch();
}

// The argument text of the call whose "(" is at open, up to its matching ")".
QString argumentAt(const QString& source, qsizetype open) {
    int depth = 0;
    bool inString = false;
    for (qsizetype i = open; i < source.size(); ++i) {
        const QChar c = source[i];
        if (inString) {
            if (c == u'\\')
                ++i;
            else if (c == u'"')
                inString = false;
            continue;
        }
        if (c == u'"')
            inString = true;
        else if (c == u'(')
            ++depth;
        else if (c == u')' && --depth == 0)
            return source.mid(open + 1, i - open - 1);
    }
    return {};
}

struct Prompts {
    QStringList texts;
    // file:line of calls whose text is not written in the call.
    QStringList hidden;
};

// A call's prompts: each literal on its own, and where the call joins literals and numbers
// into one text (no choice between texts), the joined text with 8 for every number.
QStringList promptsOf(const QString& argument) {
    static const QRegularExpression Literal(QStringLiteral("QStringLiteral\\(\"([^\"]*)\"\\)"));
    static const QRegularExpression Part(
        QStringLiteral("QStringLiteral\\(\"([^\"]*)\"\\)|QString::number\\([^)]*\\)"));
    QStringList prompts;
    for (const auto& match : Literal.globalMatch(argument))
        prompts.append(match.captured(1));
    if (prompts.size() > 1 && !argument.contains(u'?')) {
        QString joined;
        for (const auto& match : Part.globalMatch(argument))
            joined += match.captured(1).isNull() ? QStringLiteral("8") : match.captured(1);
        prompts.append(joined);
    }
    return prompts;
}

Prompts promptsInSources() {
    static const QRegularExpression Call(QStringLiteral("\\bspeak\\s*\\("));
    Prompts found;
    QDirIterator files(QStringLiteral(HUBRIX_SOURCE_DIR), {"*.cpp", "*.h"}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (isSpeechPassage(path))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString source = QString::fromUtf8(file.readAll());
        if (isPromptRule(path)) {
            static const QRegularExpression Literal(
                QStringLiteral("QStringLiteral\\(\"([^\"]*)\"\\)"));
            for (const auto& match : Literal.globalMatch(source))
                found.texts.append(match.captured(1));
        }
        for (const auto& call : Call.globalMatch(source)) {
            const qsizetype open = call.capturedEnd() - 1;
            const QString argument = argumentAt(source, open);
            const QStringList prompts = promptsOf(argument);
            if (prompts.isEmpty() && !speaksARulesPrompt(argument))
                found.hidden.append(path + u':' +
                                    QString::number(source.left(open).count(u'\n') + 1));
            found.texts += prompts;
        }
    }
    found.texts.removeDuplicates();
    return found;
}
} // namespace

class SpokenPromptsTest : public QObject {
    Q_OBJECT
private slots:
    void sources_writeEveryPromptInItsCall() {
        const Prompts prompts = promptsInSources();
        QVERIFY2(prompts.hidden.isEmpty(), qPrintable(prompts.hidden.join(u' ')));
        // The reading finds the prompts of every kind of call.
        for (const QString& known :
             {QStringLiteral("欢迎使用Hubrix"), QStringLiteral("设备未连接"),
              QStringLiteral("保存成功"), QStringLiteral("修改成功"), QStringLiteral("端口8已绑定"),
              QStringLiteral("创建备注数据库成功"), QStringLiteral("外网地址查询超时"),
              QStringLiteral("设备正在连接，请稍后"), QStringLiteral("请先绑定设备")})
            QVERIFY2(prompts.texts.contains(known), qPrintable(known));
    }

    void switchesLanguage_readsTheEnginesMarks_data() {
        QTest::addColumn<QString>("phonemes");
        QTest::addColumn<bool>("switches");
        QTest::newRow("pinyin read as English")
            << "(en)SE55f'o@55_| beI55f'o@55(cmn)_| w'ei51_|" << true;
        QTest::newRow("latin word") << "s.'i.214_| 'yu51N_| (en)h'VbrIks(cmn)_|" << true;
        QTest::newRow("Mandarin") << "s.'o-51_| p'ei51_| w'ei51_| l'iE35n_| tS;'iE55_|" << false;
    }
    void switchesLanguage_readsTheEnginesMarks() {
        QFETCH(QString, phonemes);
        QFETCH(bool, switches);
        QCOMPARE(EspeakEngine::switchesLanguage(phonemes), switches);
    }

    void spokenForm_leavesNoLatinWordInTheGreeting() {
        const QString spoken = EspeakEngine::spokenForm(QStringLiteral("欢迎使用Hubrix"));
        QVERIFY(spoken.startsWith(QStringLiteral("欢迎使用")));
        static const QRegularExpression Latin(QStringLiteral("[A-Za-z]"));
        QVERIFY2(!Latin.match(spoken).hasMatch(), qPrintable(spoken));
    }

    void engine_speaksEveryPromptAsMandarin() {
        EspeakEngine engine;
        QVERIFY(engine.load());
        QVERIFY2(engine.mandarin(), qPrintable(engine.voice()));
        const Prompts prompts = promptsInSources();
        QVERIFY(!prompts.texts.isEmpty());
        QStringList foreign;
        for (const QString& prompt : prompts.texts) {
            const QString phonemes = engine.phonemes(prompt);
            if (phonemes.trimmed().isEmpty() || EspeakEngine::switchesLanguage(phonemes))
                foreign.append(prompt + QStringLiteral(" -> ") + phonemes);
        }
        QVERIFY2(foreign.isEmpty(), qPrintable(engine.voice() + u'\n' + foreign.join(u'\n')));
        QVERIFY(!engine.synthesise(QStringLiteral("欢迎使用Hubrix")).empty());
    }

    // A voice that does not exist, or does not read Chinese as Mandarin, is passed over.
    void engine_fallsBackToTheNextCandidate() {
        EspeakEngine engine;
        QVERIFY(engine.load({QStringLiteral("no-such-voice"), QStringLiteral("cmn-latn-pinyin")}));
        QCOMPARE(engine.voice(), QStringLiteral("cmn-latn-pinyin"));
        QVERIFY(engine.mandarin());
    }
};

QTEST_MAIN(SpokenPromptsTest)
#include "test_spoken_prompts.moc"
