#pragma once

#include <QString>
#include <QStringList>

#include <vector>

struct EspeakLibrary;

// The espeak-ng library, loaded with a voice that reads Chinese text as Mandarin. The library
// keeps one engine per process and is not thread-safe: one object at a time, used from one
// thread. It is opened by load(), not linked, so that a run that speaks nothing never maps it
// nor the sound libraries it depends on; once loaded it stays until the process ends.
//
// The voice is chosen by what the installed engine does with a prompt, not by its name: one
// version's "cmn" reads Chinese characters through pinyin spelt as English, another's does
// not. A voice whose phonemes for a prompt switch to another language is passed over.
class EspeakEngine {
public:
    // In order of preference; the first that reads the probe prompt as Mandarin is taken.
    static const QStringList CandidateVoices;

    // The file the engine is loaded from, as the dynamic loader looks it up.
    static const QString LibraryFile;

    explicit EspeakEngine(QString libraryFile = LibraryFile);
    EspeakEngine(const EspeakEngine&) = delete;
    EspeakEngine& operator=(const EspeakEngine&) = delete;

    // Loads the library and chooses the voice; false when the library does not load, lacks a
    // function this program uses, or no candidate voice exists. With a voice that is not Mandarin
    // it still loads (the prompts are spoken as well as it can) and mandarin() says so.
    bool load(const QStringList& candidates = CandidateVoices);
    bool isLoaded() const { return sampleRate_ > 0; }
    QString voice() const { return voice_; }
    bool mandarin() const { return mandarin_; }
    int sampleRate() const { return sampleRate_; }

    // The phonemes the current voice makes of a prompt as it is spoken, in espeak-ng's
    // notation; a switch to another language reads "(en)" or the like.
    QString phonemes(const QString& prompt) const;
    // 16-bit mono samples at sampleRate().
    std::vector<qint16> synthesise(const QString& prompt) const;

    // What is handed to the engine for a prompt: the prompt with the program's latin words
    // replaced by how a Mandarin speaker says them, so that no voice switches to English for
    // them and the operator hears the name as it is said here.
    static QString spokenForm(const QString& prompt);
    // True when phonemes show a switch to another language.
    static bool switchesLanguage(const QString& phonemes);

private:
    bool tryVoice(const QString& name);

    QString libraryFile_;
    const EspeakLibrary* library_ = nullptr;
    int sampleRate_ = 0;
    QString voice_;
    bool mandarin_ = false;
};
