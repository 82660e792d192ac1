// Voice guidance: the player's queue, driven by a fake sound output and a hand-ticked
// timer; the play request; the output device choice; and the shipped wave files.
#include "exam/PFrmPlayWave.h"
#include "shell/AppState.h"
#include "support/test_services.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>

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
    void start(int ms) override { current = ms, ++starts; }
    void stop() override { current = 0; }
    int interval() const override { return current; }
    int current = 0, starts = 0;
};

class PlayWaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        svc = test::installTestServices();
        resetAppState();
        auto t = std::make_unique<ManualTimer>();
        timer = t.get();
        player = std::make_unique<PFrmPlayWave>(std::make_unique<FakeOutput>(state), std::move(t));
        player->SetDirectSound();
    }
    void TearDown() override {
        resetPlayWave();
        setSoundOutputFactory(nullptr);
    }
    void tick() { timer->onTimeout(); }
    // Ends the file now playing.
    void finishCurrent() {
        ASSERT_TRUE(state->pending);
        std::exchange(state->pending, nullptr)();
    }
    void stock(const QStringList& paths) {
        for (const QString& p : paths)
            player->StockWaveFile(p);
    }
    void playAll() {
        tick();
        while (state->pending)
            finishCurrent();
    }

    test::TestServices svc;
    std::shared_ptr<FakeOutputState> state = std::make_shared<FakeOutputState>();
    ManualTimer* timer = nullptr;
    std::unique_ptr<PFrmPlayWave> player;
};

QString nth(int i) {
    return QStringLiteral("/w/%1.wav").arg(i);
}

} // namespace

TEST_F(PlayWaveTest, QuickRequestsPlayOneAfterAnotherInOrder) {
    stock({"/w/3.wav", "/w/12.wav", "/w/click1.wav"});
    EXPECT_EQ(timer->interval(), PFrmPlayWave::kStartIntervalMs);
    EXPECT_EQ(timer->starts, 1); // the running timer is not restarted
    tick();
    EXPECT_EQ(state->played, QStringList{"/w/3.wav"}); // waits for the first to end
    // A request while a file plays restarts the timer, but its tick does not re-enter.
    player->StockWaveFile("/w/phone1.wav");
    tick();
    EXPECT_EQ(state->played.size(), 1);
    for (int i = 0; i < 4; ++i)
        finishCurrent();
    EXPECT_EQ(state->played, (QStringList{"/w/3.wav", "/w/12.wav", "/w/click1.wav", "/w/phone1.wav"}));
    EXPECT_FALSE(player->busy());
    tick(); // the tick left over finds the queue empty and goes idle
    EXPECT_FALSE(player->timerRunning());
    EXPECT_EQ(state->played.size(), 4);
}

TEST_F(PlayWaveTest, PositionsWrapAroundAndAFullRingDropsFurtherRequests) {
    state->endAtOnce = true;
    for (int i = 0; i < 100; ++i)
        player->StockWaveFile(nth(i));
    playAll();
    // The next requests go to the last position, then on from 0, until the ring is full.
    for (int i = 100; i < 205; ++i)
        player->StockWaveFile(nth(i));
    EXPECT_EQ(player->pathAt(0), nth(101));
    EXPECT_EQ(player->count(), PFrmPlayWave::kCapacity + 1);
    playAll();
    ASSERT_EQ(state->played.size(), 201);
    EXPECT_EQ(state->played.mid(99, 3), (QStringList{nth(99), nth(100), nth(101)}));
    EXPECT_EQ(state->played.last(), nth(200)); // the requests after the 101st were dropped
    EXPECT_EQ(player->count(), 0);
}

TEST_F(PlayWaveTest, OnlyWaveNamesArePlayedAndFailingFilesAreSkipped) {
    stock({"/w/readme.txt", "/w/UPPER.WAV", "/w/wav", "/w/broken.wav", "/w/last.Wav"});
    tick();
    EXPECT_EQ(state->played, QStringList{"/w/UPPER.WAV"});
    state->endAtOnce = true; // files that fail at once do not hold up the rest
    finishCurrent();
    EXPECT_EQ(state->played, (QStringList{"/w/UPPER.WAV", "/w/broken.wav", "/w/last.Wav"}));
    EXPECT_FALSE(player->busy());
}

TEST_F(PlayWaveTest, ClearStopsPlaybackAndIgnoresTheLateEnd) {
    stock({"/w/1.wav", "/w/2.wav"});
    tick();
    auto lateEnd = state->pending;
    player->ClearWaveFile();
    EXPECT_EQ(state->stops, 1);
    EXPECT_EQ(player->count(), 0);
    EXPECT_FALSE(player->timerRunning());
    lateEnd(); // the output reports the stopped file after all: nothing more plays
    EXPECT_EQ(state->played, QStringList{"/w/1.wav"});
    player->StockWaveFile("/w/3.wav");
    playAll();
    EXPECT_EQ(state->played, (QStringList{"/w/1.wav", "/w/3.wav"}));
}

TEST_F(PlayWaveTest, PlayRequestsFollowTheVoiceSettingAndTheDevice) {
    setSoundOutputFactory([this] { return std::make_unique<FakeOutput>(state); });
    app().VoiceOn = false;
    PlayWave("click1.wav");
    app().VoiceOn = true;
    PlayWave("");
    EXPECT_EQ(playWavePlayer().count(), 0);
    // The real timer plays from the program's wave folder shortly after the request.
    PlayWave("無.wav");
    QElapsedTimer clock;
    clock.start();
    while (state->played.isEmpty() && clock.elapsed() < 2000)
        QCoreApplication::processEvents();
    EXPECT_EQ(state->played, QStringList{svc.paths->app + "/wave/無.wav"});
    EXPECT_TRUE(svc.boxes->shown.isEmpty());

    // Without a device the error is shown once and nothing is queued.
    resetPlayWave();
    state->devices = 0;
    PlayWave("click1.wav");
    PlayWave("3.wav");
    ASSERT_EQ(svc.boxes->shown.size(), 1);
    EXPECT_EQ(svc.boxes->shown[0].text + "|" + svc.boxes->shown[0].title,
              "音声ミキサーをオープンできません。|エラー");
    EXPECT_EQ(svc.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(playWavePlayer().count(), 0);
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
    EXPECT_TRUE(test::waitUntil([&] { return ends == 1; }, 2000));
    output->play("/no/such/folder/y.wav", [&] { ++ends; });
    output->stop(); // a stopped request never reports
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(ends, 1);
}

// Every sound the program requests ships in assets/wave/ and in the program folder as a
// short mono 16-bit PCM wave, not clipped, all at the same loudness (RMS -20 dBFS).
TEST(WaveFilesTest, EveryRequestedSoundIsAShortAudiblePcmWaveInTheProgramFolder) {
    QStringList names{"click1.wav", "phone1.wav", "warp.wav", "subeteari.wav", "subetenashi.wav", "無.wav"};
    for (int value = 0; value <= 16; ++value)
        names << QString::number(value) + ".wav";
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(QFileInfo(test::builtAppFolder() + "/wave/" + name).isFile());
        QFile f(QStringLiteral(KVR_SOURCE_DIR) + "/assets/wave/" + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); };
        auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); };
        ASSERT_TRUE(b.size() > 12 && b.startsWith("RIFF") && b.mid(8, 4) == "WAVE");
        EXPECT_EQ(u32(4) + 8, quint32(b.size()));
        int channels = 0, rate = 0;
        QByteArray samples;
        for (qsizetype at = 12; at + 8 <= b.size(); at += 8 + u32(at + 4) + (u32(at + 4) & 1)) {
            ASSERT_LE(at + 8 + qsizetype(u32(at + 4)), b.size()) << "chunk runs past the end";
            if (b.mid(at, 4) == "fmt ") {
                ASSERT_EQ(u16(at + 8), 1) << "PCM";
                ASSERT_EQ(u16(at + 22), 16) << "bits";
                channels = u16(at + 10);
                rate = int(u32(at + 12));
            } else if (b.mid(at, 4) == "data") {
                samples = b.mid(at + 8, u32(at + 4));
            }
        }
        EXPECT_EQ(channels, 1);
        EXPECT_TRUE(rate == 22050 || rate == 44100) << rate;
        const qsizetype n = samples.size() / 2;
        ASSERT_GT(n, 0);
        double peak = 0, sum = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const double s = qFromLittleEndian<qint16>(samples.constData() + 2 * i) / 32768.0;
            peak = std::max(peak, std::abs(s));
            sum += s * s;
        }
        EXPECT_GT(double(n) / rate, 0.02);
        EXPECT_LT(double(n) / rate, 0.8);
        EXPECT_LT(peak, 0.99);
        EXPECT_NEAR(10 * std::log10(sum / double(n)), -20.0, 1.0);
    }
}
