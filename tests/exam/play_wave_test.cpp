// Voice guidance: the requested files play in order from the program's wave folder, only
// while the voice is on, a failing or missing file holds up nothing, a missing device is
// reported once; and every requested sound ships as a wave file.
#include "exam/PFrmPlayWave.h"
#include "shell/AppState.h"
#include "support/test_services.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

// A sound output whose files end when the test says (or at once: a failing file).
struct FakeOutput : SoundOutput {
    struct State {
        int devices = 1;
        QStringList played;
        std::function<void()> pending; // the end of the file now playing
        bool endAtOnce = false;
    };
    explicit FakeOutput(std::shared_ptr<State> s) : s(std::move(s)) {}
    int chooseDevice() override { return s->devices; }
    void play(const QString& path, std::function<void()> onFinished) override {
        s->played << path;
        s->endAtOnce ? onFinished() : void(s->pending = std::move(onFinished));
    }
    void stop() override { s->pending = nullptr; }
    std::shared_ptr<State> s;
};

class ManualTimer : public PlayTimer {
public:
    void start(int ms) override { current = ms; }
    void stop() override { current = 0; }
    int interval() const override { return current; }
    int current = 0;
};

class PlayWaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        svc = test::installTestServices();
        resetAppState();
        setSoundOutputFactory([this] { return std::make_unique<FakeOutput>(state); });
    }
    void TearDown() override {
        resetPlayWave();
        setSoundOutputFactory(nullptr); // it holds this fixture
    }
    test::TestServices svc;
    std::shared_ptr<FakeOutput::State> state = std::make_shared<FakeOutput::State>();
};

TEST_F(PlayWaveTest, QuickRequestsPlayInOrderAndAFailingFileHoldsUpNothing) {
    auto t = std::make_unique<ManualTimer>();
    ManualTimer* timer = t.get();
    PFrmPlayWave player(std::make_unique<FakeOutput>(state), std::move(t));
    player.SetDirectSound();
    for (const char* p : {"/w/3.wav", "/w/broken.wav", "/w/click1.wav"})
        player.StockWaveFile(p);
    timer->onTimeout();
    EXPECT_EQ(state->played, QStringList{"/w/3.wav"}); // waits for the first to end
    player.StockWaveFile("/w/phone1.wav");             // a request while a file plays
    timer->onTimeout();
    EXPECT_EQ(state->played.size(), 1);
    std::exchange(state->pending, nullptr)();
    state->endAtOnce = true; // the files after it fail at once
    std::exchange(state->pending, nullptr)();
    EXPECT_EQ(state->played, (QStringList{"/w/3.wav", "/w/broken.wav", "/w/click1.wav", "/w/phone1.wav"}));
    EXPECT_FALSE(player.busy());
}

TEST_F(PlayWaveTest, RequestsPlayFromTheWaveFolderOnlyWithVoiceOnAndAMissingDeviceIsReportedOnce) {
    app().VoiceOn = false;
    PlayWave("click1.wav");
    app().VoiceOn = true;
    PlayWave("");
    EXPECT_EQ(playWavePlayer().count(), 0);
    PlayWave("無.wav");
    EXPECT_TRUE(test::waitUntil([&] { return !state->played.isEmpty(); }, 2000));
    EXPECT_EQ(state->played, QStringList{svc.paths->app + "/wave/無.wav"});
    EXPECT_TRUE(svc.boxes->shown.isEmpty());

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

// The program's output reports a file it cannot play as ended (later, from the event
// loop), so that the voice goes on with the next one.
TEST(SoundOutputTest, AMissingFileEndsLaterWithoutPlaying) {
    setSoundOutputFactory(nullptr);
    auto output = createSoundOutput();
    int ends = 0;
    output->play("/no/such/folder/x.wav", [&] { ++ends; });
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(test::waitUntil([&] { return ends == 1; }, 2000));
}

TEST(WaveFilesTest, EveryRequestedSoundShipsAsAWaveFileInTheProgramFolder) {
    QStringList names{"click1.wav", "phone1.wav", "warp.wav", "subeteari.wav", "subetenashi.wav", "無.wav"};
    for (int value = 0; value <= 16; ++value)
        names << QString::number(value) + ".wav";
    for (const QString& name : names) {
        QFile f(test::builtAppFolder() + "/wave/" + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray head = f.read(12);
        EXPECT_TRUE(head.startsWith("RIFF") && head.mid(8, 4) == "WAVE") << name.toStdString();
    }
}

} // namespace
