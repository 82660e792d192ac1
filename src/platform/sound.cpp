#include "sound.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QHash>
#include <QMediaDevices>
#include <QObject>
#include <QPointer>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

namespace kvr {

int chooseAudioOutput(const QStringList& descriptions, int defaultIndex) {
    if (descriptions.isEmpty()) return -1;
    for (int i = 0; i < descriptions.size(); ++i)
        if (descriptions[i].contains(QStringLiteral("スピーカー"))) return i;
    if (defaultIndex >= 0 && defaultIndex < descriptions.size()) return defaultIndex;
    return 0;
}

namespace {

// Plays wave files with QSoundEffect. Effects are kept per file, since the same
// few sounds (clicks and values) are requested again and again while entering.
class QtSoundOutput : public QObject, public SoundOutput {
public:
    QtSoundOutput() {
        watchdog_.setSingleShot(true);
        QObject::connect(&watchdog_, &QTimer::timeout, this, [this] { finish(true); });
    }

    int chooseDevice() override {
        const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
        QStringList descriptions;
        int defaultIndex = -1;
        for (int i = 0; i < outputs.size(); ++i) {
            descriptions << outputs[i].description();
            if (outputs[i].isDefault()) defaultIndex = i;
        }
        const int chosen = chooseAudioOutput(descriptions, defaultIndex);
        if (chosen < 0) return 0;
        if (device_ != outputs[chosen]) {
            stop();
            qDeleteAll(effects_);
            effects_.clear();
            device_ = outputs[chosen];
        }
        return int(outputs.size());
    }

    void play(const QString& path, std::function<void()> onFinished) override {
        stop();
        ++generation_;
        onFinished_ = std::move(onFinished);
        if (device_.isNull() || !QFileInfo(path).isFile()) {
            failLater();
            return;
        }
        QSoundEffect* effect = effectFor(path);
        current_ = effect;
        started_ = false;
        // Long enough for any guidance sound; a device that never reports the end
        // of a file must not hold up the queue.
        watchdog_.start(kWatchdogMs);
        if (effect->status() == QSoundEffect::Ready)
            effect->play();
        else if (effect->status() == QSoundEffect::Error)
            failLater();
        // Still loading: statusChanged starts it.
    }

    void stop() override {
        ++generation_;
        watchdog_.stop();
        onFinished_ = nullptr;
        if (current_) current_->stop();
        current_ = nullptr;
    }

private:
    static constexpr int kWatchdogMs = 10000;
    static constexpr int kMaxCachedEffects = 64;

    QSoundEffect* effectFor(const QString& path) {
        if (QSoundEffect* cached = effects_.value(path)) {
            if (cached->status() != QSoundEffect::Error) return cached;
            effects_.remove(path);
            cached->deleteLater();
        }
        if (effects_.size() >= kMaxCachedEffects) {
            qDeleteAll(effects_);
            effects_.clear();
        }
        auto* effect = new QSoundEffect(device_, this);
        QObject::connect(effect, &QSoundEffect::statusChanged, this, [this, effect] {
            if (effect != current_) return;
            if (effect->status() == QSoundEffect::Ready && !started_ && !effect->isPlaying())
                effect->play();
            else if (effect->status() == QSoundEffect::Error)
                finish(true);
        });
        QObject::connect(effect, &QSoundEffect::playingChanged, this, [this, effect] {
            if (effect != current_) return;
            if (effect->isPlaying())
                started_ = true;
            else if (started_)
                finish(false);
        });
        effect->setSource(QUrl::fromLocalFile(path));
        effects_.insert(path, effect);
        return effect;
    }

    void failLater() {
        QTimer::singleShot(0, this, [this, generation = generation_] {
            if (generation == generation_) finish(true);
        });
    }

    void finish(bool failed) {
        watchdog_.stop();
        if (failed && current_) {
            current_->stop();
            const QString key = effects_.key(current_.data());
            if (!key.isEmpty()) effects_.remove(key);
            current_->deleteLater();
        }
        current_ = nullptr;
        std::function<void()> done = std::move(onFinished_);
        onFinished_ = nullptr;
        if (done) done();
    }

    QAudioDevice device_;
    QHash<QString, QSoundEffect*> effects_;
    QPointer<QSoundEffect> current_;
    bool started_ = false;
    unsigned generation_ = 0; // the play request a delayed failure belongs to
    std::function<void()> onFinished_;
    QTimer watchdog_;
};

std::function<std::unique_ptr<SoundOutput>()>& factory() {
    static std::function<std::unique_ptr<SoundOutput>()> f;
    return f;
}

} // namespace

std::unique_ptr<SoundOutput> createSoundOutput() {
    if (factory()) return factory()();
    return std::make_unique<QtSoundOutput>();
}

void setSoundOutputFactory(std::function<std::unique_ptr<SoundOutput>()> f) {
    factory() = std::move(f);
}

} // namespace kvr
