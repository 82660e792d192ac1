// Every sound the program can request ships as a short, audible 16-bit PCM wave file.
#include "support/test_services.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>

namespace {

QStringList requestedNames() {
    QStringList names{"click1.wav", "phone1.wav", "warp.wav", "subeteari.wav", "subetenashi.wav", "無.wav"};
    for (int value = 0; value <= 16; ++value)
        names << QString::number(value) + ".wav";
    return names;
}

struct WaveInfo {
    QString error; // empty when the file is a valid PCM wave
    int format = 0, channels = 0, rate = 0, bits = 0;
    double seconds = 0, peak = 0, rms = 0; // levels as fractions of full scale
};

quint32 u32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 u16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}

WaveInfo readWave(const QString& path) {
    WaveInfo w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {"cannot open"};
    const QByteArray b = f.readAll();
    if (b.size() < 12 || b.left(4) != "RIFF" || b.mid(8, 4) != "WAVE") return {"not a RIFF WAVE file"};
    if (u32(b, 4) + 8 != quint32(b.size())) return {"RIFF size does not match the file"};
    QByteArray samples;
    for (qsizetype at = 12; at + 8 <= b.size();) {
        const QByteArray id = b.mid(at, 4);
        const quint32 size = u32(b, at + 4);
        if (at + 8 + qsizetype(size) > b.size()) return {"chunk " + QString(id) + " runs past the end"};
        if (id == "fmt " && size >= 16) {
            w.format = u16(b, at + 8);
            w.channels = u16(b, at + 10);
            w.rate = int(u32(b, at + 12));
            w.bits = u16(b, at + 22);
        } else if (id == "data") {
            samples = b.mid(at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    if (w.format != 1 || w.bits != 16) return {"not 16-bit PCM"};
    if (samples.isEmpty()) return {"no samples"};
    const qsizetype n = samples.size() / 2;
    double sum = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const double s = qFromLittleEndian<qint16>(samples.constData() + 2 * i) / 32768.0;
        w.peak = std::max(w.peak, std::abs(s));
        sum += s * s;
    }
    w.rms = std::sqrt(sum / double(n));
    w.seconds = double(n) / w.channels / w.rate;
    return w;
}

} // namespace

// Each file in assets/wave/ is valid and the build copies it into the program folder.
TEST(WaveFilesTest, EveryRequestedSoundIsAShortAudiblePcmWaveInTheProgramFolder) {
    const QString folder = QStringLiteral(KVR_SOURCE_DIR) + "/assets/wave/";
    const QString built = kvr::test::builtAppFolder() + "/wave/";
    for (const QString& name : requestedNames()) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(QFileInfo(built + name).isFile());
        const WaveInfo w = readWave(folder + name);
        ASSERT_TRUE(w.error.isEmpty()) << w.error.toStdString();
        EXPECT_EQ(w.channels, 1);
        EXPECT_TRUE(w.rate == 22050 || w.rate == 44100) << w.rate;
        EXPECT_GT(w.seconds, 0.02);
        EXPECT_LT(w.seconds, 0.8);
        // Not clipped, and all at the same loudness (RMS -20 dBFS) within a decibel.
        EXPECT_LT(w.peak, 0.99);
        EXPECT_NEAR(20 * std::log10(w.rms), -20.0, 1.0);
    }
}
