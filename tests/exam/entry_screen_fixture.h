// The entry screen on a copy of the template database, with a voice player that records
// the sound files it is asked to play (shared by the entry screen tests).
#pragma once

#include "data/member_db_fixture.h"
#include "exam/ExamObjects.h"
#include "exam/PFrmInput.h"
#include "exam/PFrmPlayWave.h"
#include "platform/sound.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace kvr::test {

// Sounds "played" by the player, by file name.
inline QStringList& playedSounds() {
    static QStringList names;
    return names;
}

class RecordingOutput : public SoundOutput {
public:
    int chooseDevice() override { return 1; }
    void play(const QString& path, std::function<void()> onFinished) override {
        playedSounds() << QFileInfo(path).fileName();
        onFinished();
    }
    void stop() override {}
};

class EntryScreenTest : public MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        ResetExamObjects();
        TheClinicCode().ClinicName = "1"; // the import was answered before
        setSoundOutputFactory([] { return std::make_unique<RecordingOutput>(); });
        resetPlayWave();
        app().VoiceOn = true;
        screen = std::make_unique<PFrmInput>();
        screen->TimerLoad->stop();
        sounds(); // forget the start
    }
    void TearDown() override {
        screen.reset();
        resetPlayWave();
        setSoundOutputFactory(nullptr);
        MemberDbTest::TearDown();
    }
    // The sounds played since the last call.
    QStringList sounds() {
        waitUntil([] { return playWavePlayer().count() == 0; });
        QStringList s = playedSounds();
        playedSounds().clear();
        return s;
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(screen.get(), Qt::Key(k), m);
    }
    void keys(std::initializer_list<int> ks) {
        for (int k : ks)
            key(k);
    }
    // Types a pocket depth as the keypad does ("/" for 10 and more).
    void typeValue(int v) {
        if (v >= 10) key(Qt::Key_Slash, Qt::KeypadModifier);
        key(Qt::Key_0 + v % 10, Qt::KeypadModifier);
    }
    void pickPatient(int id) { ASSERT_TRUE(screen->selectPatient(id)); }
    void setDate(const QString& y, const QString& m, const QString& d, int stage) {
        screen->TxtY->setText(y);
        screen->TxtM->setText(m);
        screen->TxtD->setText(d);
        screen->CmbStage->setCurrentIndex(screen->CmbStage->findData(stage));
    }
    // Shows the screen as the active window (for focus checks).
    void showActive() {
        screen->show();
        screen->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    }
    QStringList boxTitles() const {
        QStringList titles;
        for (const auto& b : t.boxes->shown)
            titles << b.title;
        return titles;
    }

    std::unique_ptr<PFrmInput> screen;
};

} // namespace kvr::test
