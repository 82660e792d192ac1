// Sound output: plays one wave file at a time on the chosen audio output.
//
// The voice player queues files and hands them here one by one. The interface is
// abstract so that tests replace the real output (Qt Multimedia) with a fake.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kvr {

class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Lists the audio outputs, chooses the one to play on and returns how many
    // outputs are usable (0 = no sound can be played).
    virtual int chooseDevice() = 0;

    // Starts playing one wave file. onFinished is called exactly once when the file
    // has played to its end or could not be played (missing or broken file, failing
    // device), normally later from the event loop; it is not called after stop().
    virtual void play(const QString& path, std::function<void()> onFinished) = 0;

    // Stops the file being played, if any, without calling its onFinished.
    virtual void stop() = 0;
};

// The output to use among the given output descriptions: the first whose
// description contains "スピーカー" (speakers), else the default output. Returns -1
// when there is no output at all.
int chooseAudioOutput(const QStringList& descriptions, int defaultIndex);

// Creates the sound output of the program (Qt Multimedia unless a factory is set).
std::unique_ptr<SoundOutput> createSoundOutput();

// Replaces the way createSoundOutput makes its output (tests install a fake; an
// empty function restores the Qt Multimedia output).
void setSoundOutputFactory(std::function<std::unique_ptr<SoundOutput>()> factory);

} // namespace kvr
