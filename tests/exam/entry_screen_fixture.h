// The entry screen on a copy of the template database, with a voice player that records
// the sound files it is asked to play.
#pragma once

#include "data/member_db_fixture.h"
#include "exam/ExamObjects.h"
#include "exam/PFrmInput.h"
#include "exam/PFrmPlayWave.h"
#include "platform/sound.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <vector>

namespace kvr::test {

// Sounds "played" by the player, by file name.
inline QStringList& playedSounds() {
    static QStringList names;
    return names;
}

// A sound output whose files end at once, recorded in playedSounds().
class RecordingOutput : public SoundOutput {
public:
    int chooseDevice() override { return 1; }
    void play(const QString& path, std::function<void()> onFinished) override {
        playedSounds() << QFileInfo(path).fileName();
        onFinished();
    }
    void stop() override {}
};

// Runs action on the modal dialog once it is open.
inline void whenOpen(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        action(modal);
    });
}

class EntryScreenTest : public MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        ResetExamObjects();
        TheClinicCode().ClinicName = "1"; // the import was answered before
        setSoundOutputFactory([] { return std::make_unique<RecordingOutput>(); });
        app().VoiceOn = true;
        newScreen();
        sounds(); // forget the start
    }
    void TearDown() override {
        screen.reset();
        resetPlayWave();
        setSoundOutputFactory(nullptr);
        MemberDbTest::TearDown();
    }
    // A new screen, its start-up timer stopped.
    void newScreen() {
        screen = std::make_unique<PFrmInput>();
        screen->TimerLoad->stop();
    }
    // The sounds played since the last call.
    QStringList sounds() {
        waitUntil([] { return playWavePlayer().count() == 0; });
        return std::exchange(playedSounds(), {});
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(screen.get(), Qt::Key(k), m);
    }
    // A key pressed where the focus is.
    void press(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), m);
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
    void clickSite(int row, int tooth, int site) {
        ToothButton* c = screen->cell(row, tooth);
        QTest::mouseClick(c, Qt::LeftButton, {}, c->siteRect(site).center());
    }
    void showActive() {
        screen->show();
        screen->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    }
    bool hasFocusIn(QWidget* w) const {
        QWidget* f = QApplication::focusWidget();
        return f && (f == w || w->isAncestorOf(f));
    }
    // Forgets the boxes shown so far and scripts the answers of the next ones.
    void reply(const std::vector<MsgResult>& answers) {
        t.boxes->clear();
        for (MsgResult a : answers)
            t.boxes->answer(a);
    }
    // Expects exactly one box since the last clear, "text|title" with this icon.
    void expectOneBox(const QString& textAndTitle, MsgIcon icon) {
        EXPECT_EQ(boxTexts(true), QStringList{textAndTitle});
        EXPECT_EQ(t.boxes->shown.value(0).icon, icon);
    }
    // The boxes shown since the last clear: their texts, or "text|title".
    QStringList boxTexts(bool withTitles = false) const {
        QStringList l;
        for (const auto& b : t.boxes->shown)
            l << (withTitles ? b.text + "|" + b.title : b.text);
        return l;
    }

    std::unique_ptr<PFrmInput> screen;
};

} // namespace kvr::test
