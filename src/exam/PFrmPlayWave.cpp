#include "PFrmPlayWave.h"

#include "platform/services.h"
#include "shell/AppState.h"

#include <QCoreApplication>
#include <QTimer>

namespace kvr {

namespace {

class QtPlayTimer : public PlayTimer {
public:
    QtPlayTimer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTimeout) onTimeout();
        });
    }
    void start(int intervalMs) override { timer_.start(intervalMs); }
    void stop() override { timer_.stop(); }
    int interval() const override { return timer_.isActive() ? timer_.interval() : 0; }

private:
    QTimer timer_;
};

bool isWaveName(const QString& path) {
    return path.toLower().endsWith(QStringLiteral(".wav"));
}

PFrmPlayWave* g_player = nullptr;

} // namespace

std::unique_ptr<PlayTimer> createPlayTimer() {
    return std::make_unique<QtPlayTimer>();
}

PFrmPlayWave::PFrmPlayWave(std::unique_ptr<SoundOutput> output, std::unique_ptr<PlayTimer> timer,
                           QObject* parent)
    : QObject(parent), output_(std::move(output)), timer_(timer ? std::move(timer) : createPlayTimer()) {
    timer_->onTimeout = [this] { TimerPlay_Timer(); };
}

PFrmPlayWave::~PFrmPlayWave() {
    timer_->onTimeout = nullptr;
    timer_->stop();
    if (output_) output_->stop();
}

void PFrmPlayWave::SetDirectSound() {
    deviceCount_ = output_ ? output_->chooseDevice() : 0;
    if (deviceCount_ < 1)
        msgBox(QStringLiteral("音声ミキサーをオープンできません。"), QStringLiteral("エラー"), MsgButtons::Ok,
               MsgIcon::Critical);
}

void PFrmPlayWave::StockWaveFile(const QString& path) {
    if (deviceCount_ < 1) return;
    if (count_ > kCapacity) return; // the ring is full: the request is dropped
    paths_[writePos_] = path;
    writePos_ = writePos_ >= kCapacity ? 0 : writePos_ + 1;
    ++count_;
    if (timer_->interval() == 0) timer_->start(kStartIntervalMs);
}

void PFrmPlayWave::ClearWaveFile() {
    timer_->stop();
    ++generation_;
    if (waiting_ && output_) output_->stop();
    waiting_ = false;
    busy_ = false;
    readPos_ = 0;
    writePos_ = 0;
    count_ = 0;
}

void PFrmPlayWave::TimerPlay_Timer() {
    if (busy_) return;
    busy_ = true;
    timer_->stop();
    playQueued();
}

// Plays from the read position on until the queue is empty. A file that is played
// ends the loop here; its end (onFilePlayed) advances and continues it, so the
// event loop keeps running while a file sounds.
void PFrmPlayWave::playQueued() {
    while (count_ > 0) {
        const QString path = paths_[readPos_];
        if (isWaveName(path) && output_) {
            waiting_ = true;
            inPlay_ = true;
            const unsigned generation = generation_;
            output_->play(path, [this, generation] { onFilePlayed(generation); });
            inPlay_ = false;
            if (waiting_) return;
        }
        advanceRead();
    }
    busy_ = false;
}

void PFrmPlayWave::onFilePlayed(unsigned generation) {
    if (generation != generation_ || !waiting_) return;
    waiting_ = false;
    if (inPlay_) return; // ended at once (a failed file): the loop in playQueued goes on
    advanceRead();
    playQueued();
}

void PFrmPlayWave::advanceRead() {
    readPos_ = readPos_ >= kCapacity ? 0 : readPos_ + 1;
    --count_;
}

PFrmPlayWave& playWavePlayer() {
    if (!g_player) {
        // Released with the application object, before the sound system goes away.
        qAddPostRoutine(resetPlayWave);
        g_player = new PFrmPlayWave(createSoundOutput());
        g_player->SetDirectSound();
    }
    return *g_player;
}

void LoadPlayWave() {
    playWavePlayer();
}

void resetPlayWave() {
    if (!g_player) return;
    qRemovePostRoutine(resetPlayWave);
    delete g_player;
    g_player = nullptr;
}

void PlayWave(const QString& name) {
    if (!app().VoiceOn || name.isEmpty()) return;
    playWavePlayer().StockWaveFile(deliveredFolder() + QStringLiteral("/wave/") + name);
}

} // namespace kvr
