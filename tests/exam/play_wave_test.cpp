// The voice player's queue, driven by a fake sound output and a hand-ticked timer.
#include "exam/PFrmPlayWave.h"
#include "shell/AppState.h"
#include "support/test_services.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

struct FakeOutputState {
    int devices = 1;
    QStringList played;
    std::function<void()> pending; // the end of the file now playing
    bool endAtOnce = false;        // report the end from inside play() (a failing file)
    int stops = 0;
};

class FakeOutput : public SoundOutput {
public:
    explicit FakeOutput(std::shared_ptr<FakeOutputState> s) : s_(std::move(s)) {}
    int chooseDevice() override { return s_->devices; }
    void play(const QString& path, std::function<void()> onFinished) override {
        s_->played << path;
        if (s_->endAtOnce)
            onFinished();
        else
            s_->pending = std::move(onFinished);
    }
    void stop() override {
        ++s_->stops;
        s_->pending = nullptr;
    }

private:
    std::shared_ptr<FakeOutputState> s_;
};

class ManualTimer : public PlayTimer {
public:
    void start(int ms) override {
        current = ms;
        ++starts;
    }
    void stop() override { current = 0; }
    int interval() const override { return current; }
    void tick() { onTimeout(); }
    int current = 0;
    int starts = 0;
};

class PlayWaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        svc = test::installTestServices();
        resetAppState();
        state = std::make_shared<FakeOutputState>();
        auto t = std::make_unique<ManualTimer>();
        timer = t.get();
        player = std::make_unique<PFrmPlayWave>(std::make_unique<FakeOutput>(state), std::move(t));
    }
    void TearDown() override {
        resetPlayWave();
        setSoundOutputFactory(nullptr);
    }
    // Ends the file now playing.
    void finishCurrent() {
        ASSERT_TRUE(state->pending);
        auto done = std::move(state->pending);
        state->pending = nullptr;
        done();
    }
    void stock(std::initializer_list<QString> paths) {
        for (const QString& p : paths)
            player->StockWaveFile(p);
    }
    // Ticks once and lets every queued file play to its end.
    void playAll() {
        timer->tick();
        while (state->pending)
            finishCurrent();
    }

    test::TestServices svc;
    std::shared_ptr<FakeOutputState> state;
    ManualTimer* timer = nullptr;
    std::unique_ptr<PFrmPlayWave> player;
};

QString nth(int i) {
    return QStringLiteral("/w/%1.wav").arg(i);
}

} // namespace

TEST_F(PlayWaveTest, QuickRequestsPlayOneAfterAnotherInOrder) {
    player->SetDirectSound();
    player->StockWaveFile("/w/3.wav");
    EXPECT_EQ(timer->interval(), PFrmPlayWave::kStartIntervalMs);
    stock({"/w/12.wav", "/w/click1.wav"});
    EXPECT_EQ(timer->starts, 1); // the running timer is not restarted
    EXPECT_EQ(player->count(), 3);

    timer->tick();
    EXPECT_TRUE(player->busy());
    EXPECT_FALSE(player->timerRunning());
    EXPECT_EQ(state->played, QStringList{"/w/3.wav"}); // waits for the first to end

    // A request while a file plays restarts the timer, but its tick does not re-enter.
    player->StockWaveFile("/w/phone1.wav");
    EXPECT_TRUE(player->timerRunning());
    timer->tick();
    EXPECT_EQ(state->played.size(), 1);

    for (int i = 0; i < 4; ++i)
        finishCurrent();
    EXPECT_EQ(state->played, (QStringList{"/w/3.wav", "/w/12.wav", "/w/click1.wav", "/w/phone1.wav"}));
    EXPECT_FALSE(player->busy());
    EXPECT_EQ(player->count(), 0);

    // The tick left over from the last request finds the queue empty and goes idle.
    timer->tick();
    EXPECT_FALSE(player->timerRunning());
    EXPECT_EQ(state->played.size(), 4);
}

TEST_F(PlayWaveTest, PositionsWrapAroundAndAFullRingDropsFurtherRequests) {
    player->SetDirectSound();
    state->endAtOnce = true;
    for (int i = 0; i < 100; ++i)
        player->StockWaveFile(nth(i));
    playAll();
    EXPECT_EQ(player->readPosition(), 100);
    EXPECT_EQ(player->writePosition(), 100);

    // The next requests go to the last position, then on from 0, until the ring is full.
    for (int i = 100; i < 205; ++i)
        player->StockWaveFile(nth(i));
    EXPECT_EQ(player->pathAt(100), nth(100));
    EXPECT_EQ(player->pathAt(0), nth(101));
    EXPECT_EQ(player->count(), PFrmPlayWave::kCapacity + 1);
    EXPECT_EQ(player->writePosition(), 100);
    playAll();
    ASSERT_EQ(state->played.size(), 201);
    EXPECT_EQ(state->played.mid(99, 3), (QStringList{nth(99), nth(100), nth(101)}));
    EXPECT_EQ(state->played.last(), nth(200)); // the requests after the 101st were dropped
    EXPECT_EQ(player->readPosition(), 100);
    EXPECT_EQ(player->count(), 0);
    EXPECT_FALSE(player->busy());
}

TEST_F(PlayWaveTest, OnlyWaveNamesArePlayedAndFailingFilesAreSkipped) {
    player->SetDirectSound();
    stock({"/w/readme.txt", "/w/UPPER.WAV", "/w/wav", "/w/broken.wav", "/w/last.Wav"});
    timer->tick();
    EXPECT_EQ(state->played, QStringList{"/w/UPPER.WAV"});
    // Files that fail at once do not hold up the rest.
    state->endAtOnce = true;
    finishCurrent();
    EXPECT_EQ(state->played, (QStringList{"/w/UPPER.WAV", "/w/broken.wav", "/w/last.Wav"}));
    EXPECT_EQ(player->count(), 0);
    EXPECT_FALSE(player->busy());
}

TEST_F(PlayWaveTest, ClearStopsPlaybackAndIgnoresTheLateEnd) {
    player->SetDirectSound();
    stock({"/w/1.wav", "/w/2.wav"});
    timer->tick();
    auto lateEnd = state->pending;
    player->ClearWaveFile();
    EXPECT_EQ(state->stops, 1);
    EXPECT_EQ(player->count(), 0);
    EXPECT_FALSE(player->busy());
    EXPECT_FALSE(player->timerRunning());
    lateEnd(); // the output reports the stopped file after all: nothing more plays
    EXPECT_EQ(state->played, QStringList{"/w/1.wav"});

    player->StockWaveFile("/w/3.wav");
    playAll();
    EXPECT_EQ(state->played, (QStringList{"/w/1.wav", "/w/3.wav"}));
}

TEST_F(PlayWaveTest, WithoutADeviceTheErrorIsShownOnceAndNothingIsQueued) {
    state->devices = 0;
    setSoundOutputFactory([this] { return std::make_unique<FakeOutput>(state); });
    PlayWave("click1.wav");
    PlayWave("3.wav");
    ASSERT_EQ(svc.boxes->shown.size(), 1);
    EXPECT_EQ(svc.boxes->shown[0].text + "|" + svc.boxes->shown[0].title,
              "音声ミキサーをオープンできません。|エラー");
    EXPECT_EQ(svc.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(playWavePlayer().count(), 0);
    EXPECT_FALSE(playWavePlayer().timerRunning());
    EXPECT_TRUE(state->played.isEmpty());
}

TEST_F(PlayWaveTest, PlayRequestsFollowTheVoiceSettingAndUseTheWaveFolder) {
    setSoundOutputFactory([this] { return std::make_unique<FakeOutput>(state); });
    app().VoiceOn = false;
    PlayWave("click1.wav");
    EXPECT_EQ(playWavePlayer().count(), 0);

    app().VoiceOn = true;
    PlayWave("");
    EXPECT_EQ(playWavePlayer().count(), 0);
    PlayWave("無.wav");
    ASSERT_EQ(playWavePlayer().count(), 1);
    EXPECT_EQ(playWavePlayer().pathAt(0), svc.paths->app + "/wave/無.wav");
    EXPECT_TRUE(svc.boxes->shown.isEmpty());

    // The real timer starts playback shortly after the request.
    QElapsedTimer clock;
    clock.start();
    while (state->played.isEmpty() && clock.elapsed() < 2000)
        QCoreApplication::processEvents();
    EXPECT_EQ(state->played, QStringList{svc.paths->app + "/wave/無.wav"});
}

TEST(SoundOutputTest, SpeakersArePreferredAndAMissingFileEndsLaterWithoutPlaying) {
    EXPECT_EQ(chooseAudioOutput({}, -1), -1);
    EXPECT_EQ(chooseAudioOutput({"HDMI", "スピーカー (Realtek)", "Headset"}, 2), 1);
    EXPECT_EQ(chooseAudioOutput({"HDMI", "Headset"}, 1), 1);
    EXPECT_EQ(chooseAudioOutput({"HDMI", "Headset"}, -1), 0);

    setSoundOutputFactory(nullptr);
    auto output = createSoundOutput();
    int ends = 0;
    output->play("/no/such/folder/x.wav", [&] { ++ends; });
    EXPECT_EQ(ends, 0); // never from inside play()
    QElapsedTimer clock;
    clock.start();
    while (ends == 0 && clock.elapsed() < 2000)
        QCoreApplication::processEvents();
    EXPECT_EQ(ends, 1);

    // A stopped request never reports.
    output->play("/no/such/folder/y.wav", [&] { ++ends; });
    output->stop();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(ends, 1);
}
