// Voice guidance: the player that queues the requested sound files and plays them
// one after the other, and the play request used by every screen.
//
// Requests are stored in a ring of 101 paths. A timer tick (5 ms after the first
// request) plays the queued files in order; while a file plays the event loop runs
// on, so the screens stay responsive and further requests are queued behind it.
#pragma once

#include "platform/sound.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QTimer;

namespace kvr {

// The playback timer. An interface so that tests tick it by hand.
class PlayTimer {
public:
    virtual ~PlayTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    // The running interval, 0 while the timer is idle.
    virtual int interval() const = 0;
    // Called on every tick.
    std::function<void()> onTimeout;
};

// The timer of the program (a QTimer).
std::unique_ptr<PlayTimer> createPlayTimer();

// The player has no visible part: it is a hidden object that lives as long as the program.
class PFrmPlayWave : public QObject {
public:
    // The highest ring position: paths are stored at positions 0 to kCapacity.
    static constexpr int kCapacity = 100;
    // The delay between a request and the start of playback.
    static constexpr int kStartIntervalMs = 5;

    explicit PFrmPlayWave(std::unique_ptr<SoundOutput> output, std::unique_ptr<PlayTimer> timer = nullptr,
                          QObject* parent = nullptr);
    ~PFrmPlayWave() override;

    // Chooses the output device. Without any device it says so once and the player
    // stays silent: nothing is queued from then on.
    void SetDirectSound();
    // Queues one file (a full path) and starts the timer when it is idle. Dropped
    // when there is no device or the ring is full.
    void StockWaveFile(const QString& path);
    // Stops the timer and playback and empties the queue.
    void ClearWaveFile();
    // The timer tick: plays the queued files in order (re-entry is refused while busy).
    void TimerPlay_Timer();

    // State, for the screens' checks and the tests.
    int deviceCount() const { return deviceCount_; }
    int count() const { return count_; }
    int readPosition() const { return readPos_; }
    int writePosition() const { return writePos_; }
    bool busy() const { return busy_; }
    bool timerRunning() const { return timer_->interval() != 0; }
    QString pathAt(int position) const { return paths_.at(position); }

private:
    void playQueued();
    void onFilePlayed(unsigned generation);
    void advanceRead();

    std::unique_ptr<SoundOutput> output_;
    std::unique_ptr<PlayTimer> timer_;
    std::array<QString, kCapacity + 1> paths_;
    int writePos_ = 0;
    int readPos_ = 0;
    int count_ = 0;
    int deviceCount_ = 0;
    bool busy_ = false;
    bool waiting_ = false;    // a file is playing and its end has not been reported yet
    bool inPlay_ = false;     // inside SoundOutput::play (an immediate end is handled by the loop)
    unsigned generation_ = 0; // bumped by ClearWaveFile so that late ends are ignored
};

// The program's player: created hidden on first use (choosing the output device
// then) and kept until the program ends.
PFrmPlayWave& playWavePlayer();
// Loads the player at start-up, so that a missing device is reported before entry begins.
void LoadPlayWave();
// Destroys the program's player; the next use creates a new one (tests).
void resetPlayWave();

// Plays a guidance sound: when the voice setting is on and the name is not empty,
// queues program folder + "/wave/" + name on the program's player.
void PlayWave(const QString& name);

} // namespace kvr
