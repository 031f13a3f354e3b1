// What the speech engine costs its own thread: loading espeak-ng and choosing the voice (once
// per run, off the window's thread), and turning prompts into phonemes and into sound.
#include "bench_stats.h"

#include "platform/espeak_engine.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    EspeakEngine engine;
    const double loadMs = timeMs([&] { engine.load(); });
    if (!engine.isLoaded()) {
        std::fputs("bench_speech: espeak-ng does not load\n", stderr);
        return 1;
    }
    std::printf("voice %s, Mandarin %s\n", qPrintable(engine.voice()),
                engine.mandarin() ? "yes" : "no");
    report("load espeak-ng and choose the voice", loadMs, "ms", "off the window's thread");

    const QString greeting = QStringLiteral("欢迎使用Hubrix");
    const QString prompt = QStringLiteral("设备未连接");
    constexpr int Runs = 20;
    std::vector<double> phonemeMs, greetingMs, promptMs;
    size_t samples = 0;
    for (int run = 0; run < Runs; ++run) {
        phonemeMs.push_back(timeMs([&] { engine.phonemes(prompt); }));
        greetingMs.push_back(timeMs([&] { samples = engine.synthesise(greeting).size(); }));
        promptMs.push_back(timeMs([&] { engine.synthesise(prompt); }));
    }
    report("phonemes of a five-character prompt (median)", median(phonemeMs), "ms", "-");
    report("sound of the greeting (median)", median(greetingMs), "ms", "< its own length");
    report("greeting length when played", 1000.0 * double(samples) / engine.sampleRate(), "ms",
           "-");
    report("sound of a five-character prompt (median)", median(promptMs), "ms", "-");
    return 0;
}
