// Recordings: the pictures' slots (repeats, skips, the index and the time limit), the file
// as ffprobe reads it, sound from a private PulseAudio server and its sync with the
// pictures, the buffer file and its copy, a camera lost while recording, and files past
// 1 GB.
#include "ScriptedDrivers.h"
#include "capture/Ffmpeg.h"
#include "capture/Recorder.h"
#include "capture/VideoCapture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cmath>
#include <thread>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;
using Clock = Recorder::Clock;

namespace {

// What ffprobe reads of a file: its streams by type ("video", "audio"), every packet read
// as a player does.
QMap<QString, QJsonObject> probe(const QString& file) {
    QProcess p;
    const QStringList args = QStringLiteral("-v error -count_packets -of json -show_entries "
                                            "stream=codec_type,codec_name,r_frame_rate,"
                                            "nb_read_packets,duration,sample_rate,channels")
                                 .split(' ');
    p.start(QStringLiteral("ffprobe"), args + QStringList{file});
    p.waitForFinished(120000);
    QMap<QString, QJsonObject> streams;
    for (const QJsonValue& s :
         QJsonDocument::fromJson(p.readAllStandardOutput())["streams"].toArray())
        streams[s["codec_type"].toString()] = s.toObject();
    return streams;
}

double number(const QJsonObject& stream, const char* key) {
    return stream[QLatin1String(key)].toString().toDouble();
}

// A picture of one grey level, in a format the capture thread hands over.
ff::FramePtr greyFrame(int width, int height, int level,
                       AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    ff::FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane ? height / 2 : height;
        std::memset(frame->data[plane], plane ? 128 : level, size_t(frame->linesize[plane]) * rows);
    }
    return frame;
}

// A PulseAudio server of the test's own whose default source hears its default sink.
struct SoundServer {
    QTemporaryDir dir;
    QProcess daemon;
    QString server = "unix:" + dir.filePath("native");
    bool start() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty()) return false;
        QFile script(dir.filePath("script.pa"));
        script.open(QIODevice::WriteOnly);
        // The socket comes last: once it is there, so are the sink and the defaults.
        script.write(("load-module module-null-sink sink_name=ostrel_test\n"
                      "set-default-source ostrel_test.monitor\nset-default-sink ostrel_test\n"
                      "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                      dir.filePath("native") + "\n")
                         .toUtf8());
        script.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        daemon.setProcessEnvironment(env);
        daemon.start("pulseaudio",
                     {"-n", "-F", script.fileName(), "--daemonize=no", "--exit-idle-time=-1",
                      "--use-pid-file=no", "--disable-shm=yes"});
        for (int i = 0; i < 100 && !QFile::exists(dir.filePath("native")); ++i)
            QThread::msleep(50);
        qputenv("PULSE_SERVER", server.toUtf8());
        return QFile::exists(dir.filePath("native"));
    }
    ~SoundServer() {
        daemon.terminate();
        daemon.waitForFinished(3000);
    }
};

struct Slots {
    QList<double> arrivals; // in frame times after the start
    quint32 indexSize;
    qint64 frames, dropped;
    bool endsByItself;
};

} // namespace

Q_DECLARE_METATYPE(Slots)

class TestRecorder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("TMPDIR", QFile::encodeName(dir_.path()));
        av_log_set_level(AV_LOG_ERROR); // no per-frame notes of the conversions
                                        // No sound input unless a test starts its own server.
        qputenv("PULSE_SERVER", "unix:/nonexistent/ostrel");
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(dir_.filePath("no-alsa.conf")));
    }

    void rules() {
        QCOMPARE(Recorder::qscale(100), 2);
        QCOMPARE(Recorder::qscale(1), 31);
        QCOMPARE(Recorder::indexSizeFor(15, 10, true, 0), 1800u); // 150 + 50, raised
        QCOMPARE(Recorder::indexSizeFor(60, 100, false, 0), 6000u);
        QCOMPARE(Recorder::indexSizeFor(15, 0, false, 0), 100000u); // none set
        QCOMPARE(Recorder::indexSizeFor(15, 0, false, 5000), 5000u);
        QCOMPARE(Recorder::indexSizeFor(1000, 3600, true, 0), 324000u);
    }

    // Slots without a new frame repeat the last picture, a second frame for a slot is
    // skipped, and a full index ends the recording by itself.
    void pictureSlots_data() {
        QTest::addColumn<Slots>("s");
        QTest::newRow("gaps and a fast camera") << Slots{{0.5, 0.7, 1.5, 4.5}, 0, 5, 2, false};
        QTest::newRow("late first frame") << Slots{{2.5, 3.5}, 0, 4, 2, false};
        QTest::newRow("index full") << Slots{{0.5, 1.5, 2.5, 3.5, 4.5}, 3, 3, 0, true};
    }
    void pictureSlots() {
        QFETCH(Slots, s);
        RecordingSettings settings;
        settings.file = dir_.filePath("slots.avi");
        settings.indexSize = s.indexSize;
        settings.microSecPerFrame = 100000; // 10 frames a second
        bool ended = false;
        QString error;
        auto recorder = Recorder::start(settings, {64, 48}, {[&] { ended = true; }, {}}, &error);
        QVERIFY2(recorder, qPrintable(error));
        const Clock::time_point base = Clock::now();
        const ff::FramePtr frame = greyFrame(64, 48, 100);
        for (double at : s.arrivals)
            recorder->push(frame.get(), base + std::chrono::microseconds(qint64(at * 100000)));
        if (s.endsByItself) QTRY_VERIFY(recorder->ended());
        const RecordingResult result = recorder->stop();
        QCOMPARE(result.frames, s.frames);
        QCOMPARE(result.dropped, s.dropped);
        QCOMPARE(ended, s.endsByItself);
        QCOMPARE(recorder->ended(), s.endsByItself);
        QCOMPARE(number(probe(settings.file)["video"], "nb_read_packets"), double(s.frames));
    }

    // The whole way from a camera: 300 and 301, the time limit, and a file that lasts as
    // long as the limit at the recording's own rate, not the camera's (slots: pictureSlots).
    void timeLimitedRecording() {
        auto drivers = std::make_shared<ScriptedDrivers>();
        drivers->add(0, "Test", lavfiSource(QStringLiteral("testsrc=size=320x240:rate=10")));
        TVideoCapture video(drivers, dir_.path());
        video.setDriverIndex(0);
        video.setDriverOpen(true);
        video.setVideoFileName(QStringLiteral("limited.avi"));
        video.setFrameRate(15);
        video.setCapTimeLimit(2);
        QSignalSpy status(&video, &TVideoCapture::OnStatusCallback);
        QVERIFY(video.StartRecording());
        QCOMPARE(status.count(), 1);
        QCOMPARE(status[0][0].toInt(), CapStatusCaptureBegins);
        QVERIFY(video.IsRecording());
        QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 10000);
        QCOMPARE(status[1][0].toInt(), CapStatusCaptureEnds);
        QVERIFY2(status[1][1].toString().contains("30 frames recorded"),
                 qPrintable(status[1][1].toString()));
        QVERIFY(!video.IsRecording());
        const QJsonObject v = probe(dir_.filePath("limited.avi"))["video"];
        QCOMPARE(v["codec_name"].toString(), QStringLiteral("mjpeg"));
        QCOMPARE(v["r_frame_rate"].toString(), QStringLiteral("15/1"));
        QCOMPARE(number(v, "nb_read_packets"), 30.0);
        QCOMPARE_LE(std::abs(number(v, "duration") - 2.0), 1.0 / 15);
    }

    // Sound from the desktop's default input, 8000 Hz mono u8, as long as the pictures
    // and in step with them: a tone played at the moment the pictures turn white starts
    // within 100 ms of the first white picture.
    void soundInSync() {
        SoundServer pulse;
        if (!pulse.start()) QSKIP("pulseaudio is not installed");
        auto restore = qScopeGuard([] { qputenv("PULSE_SERVER", "unix:/nonexistent/ostrel"); });
        // A faint noise all along (digital silence would reach the input as nothing), and
        // a loud tone half a second long from the moment the pictures turn white.
        QFile noise(dir_.filePath("noise.u8"));
        QVERIFY(noise.open(QIODevice::WriteOnly));
        for (int i = 0; i < 8000 * 4; ++i)
            noise.putChar(char(0x80 + std::rand() % 41 - 20));
        noise.close();
        const QStringList raw{"--server",         pulse.server,  "--raw",
                              "--format=u8",      "--rate=8000", "--channels=1",
                              "--latency-msec=10"};
        QProcess background, player;
        background.setStandardInputFile(noise.fileName());
        background.start("pacat", raw);
        QVERIFY(background.waitForStarted());
        RecordingSettings settings;
        settings.file = dir_.filePath("sound.avi");
        settings.audio = true;
        settings.microSecPerFrame = 33333;
        QStringList warnings;
        QString error;
        auto recorder = Recorder::start(settings, {64, 48},
                                        {{}, [&](const QString& w) { warnings << w; }}, &error);
        QVERIFY2(recorder, qPrintable(error));
        // In the encoder's own format: they go in without a conversion.
        const ff::FramePtr dark = greyFrame(64, 48, 16, AV_PIX_FMT_YUVJ420P);
        const ff::FramePtr bright = greyFrame(64, 48, 235, AV_PIX_FMT_YUVJ420P);
        const Clock::time_point start = Clock::now();
        // 3.5 s at 30 frames a second, white from 2.5 s on: a new sound input may take more
        // than a second before its first sound.
        for (int i = 0; i < 105; ++i) {
            std::this_thread::sleep_until(start + i * 33333us);
            if (i == 75) {
                player.start("pacat", raw);
                player.waitForStarted();
                player.write(QByteArray(4000, char(0x80 + 100)));
                player.waitForBytesWritten();
                player.closeWriteChannel();
            }
            recorder->push((i < 75 ? dark : bright).get(), Clock::now());
        }
        const RecordingResult result = recorder->stop();
        player.waitForFinished(3000);
        background.kill();
        background.waitForFinished(3000);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join("; ")));

        const auto streams = probe(settings.file);
        QCOMPARE(streams["audio"]["codec_name"].toString(), QStringLiteral("pcm_u8"));
        QCOMPARE(number(streams["audio"], "sample_rate"), 8000.0);
        QCOMPARE(streams["audio"]["channels"].toInt(), 1);
        QCOMPARE_LT(std::abs(double(result.soundSamples) / 8000 - result.frames / 30.0), 0.1);

        // Where the tone and the white pictures begin, in the decoded file.
        QProcess ff;
        ff.start("ffmpeg", {"-v", "error", "-i", settings.file, "-map", "0:a", "-f", "u8", "-ac",
                            "1", "-ar", "8000", "-"});
        ff.waitForFinished(30000);
        const QByteArray samples = ff.readAllStandardOutput();
        qsizetype toneAt = 0;
        while (toneAt < samples.size() && std::abs(int(uchar(samples[toneAt])) - 128) < 50)
            ++toneAt;
        ff.start("ffmpeg", {"-v", "error", "-i", settings.file, "-map", "0:v", "-f", "rawvideo",
                            "-pix_fmt", "gray", "-s", "1x1", "-"});
        ff.waitForFinished(30000);
        const QByteArray lumas = ff.readAllStandardOutput();
        qsizetype whiteAt = 0;
        while (whiteAt < lumas.size() && uchar(lumas[whiteAt]) < 128)
            ++whiteAt;
        QCOMPARE_LT(toneAt, samples.size());
        QCOMPARE_LT(whiteAt, lumas.size());
        const double offset = double(toneAt) / 8000 - double(whiteAt) / 30;
        QCOMPARE_LT(std::abs(offset), 0.1);
    }

    // Without a sound input the recording goes on, without sound, and says why; a camera
    // lost while recording ends it with a playable file before the loss is reported.
    void noSoundAndLostCamera() {
        auto drivers = std::make_shared<ScriptedDrivers>();
        SourceSpec camera = lavfiSource(QStringLiteral("testsrc=size=320x240:rate=15:d=1.5"));
        camera.device = true;
        drivers->add(0, "Test", camera);
        TVideoCapture video(drivers, dir_.path());
        video.setDriverIndex(0);
        video.setDriverOpen(true);
        video.setCapAudio(true);
        QStringList events;
        connect(&video, &TVideoCapture::OnError, [&](int, const QString& t) { events << t; });
        connect(&video, &TVideoCapture::OnStatusCallback,
                [&](int n, const QString&) { events << QString::number(n); });
        // A file that cannot be made: no recording, and the reason.
        video.setVideoFileName(QStringLiteral("no-such-folder/lost.avi"));
        QVERIFY(!video.StartRecording());
        QCOMPARE(events.size(), 1);
        QVERIFY2(events[0].startsWith("Could not create"), qPrintable(events.join("; ")));
        events.clear();
        video.setVideoFileName(QStringLiteral("lost.avi"));
        QVERIFY(video.StartRecording());
        QTRY_VERIFY_WITH_TIMEOUT(events.contains(DeviceLostText), 10000);
        QCOMPARE(events.size(), 4);
        QCOMPARE(events[0], QStringLiteral("300"));
        QVERIFY2(events[1].startsWith("The recording has no sound"), qPrintable(events[1]));
        QCOMPARE(events.mid(2), QStringList({"301", DeviceLostText}));
        const auto streams = probe(dir_.filePath("lost.avi"));
        QVERIFY(!streams.contains("audio"));
        QCOMPARE_GE(number(streams["video"], "nb_read_packets"), 15);
    }

    // With a buffer file the recording goes there, keeping its blocks, and is copied to the
    // video file; a copy that fails leaves it in the buffer file, which is kept.
    void bufferFile() {
        auto drivers = std::make_shared<ScriptedDrivers>();
        drivers->add(0, "Test", testPicture());
        TVideoCapture video(drivers, dir_.path());
        video.setDriverIndex(0);
        video.setBufferFileSize(1);
        video.setDriverOpen(true);
        const QStringList buffers = QDir(dir_.path()).entryList({"cap*"}, QDir::Files);
        QCOMPARE(buffers.size(), 1);
        const QString buffer = dir_.filePath(buffers[0]);
        QSignalSpy errors(&video, &TVideoCapture::OnError);

        video.setVideoFileName(QStringLiteral("buffered.avi"));
        QVERIFY(video.StartRecording());
        for (int i = 0; i < 6; ++i)
            QVERIFY(newFrame(video));
        QVERIFY(video.StopRecording());
        QVERIFY(!QFile::exists(dir_.filePath("buffered.avi")));
        QCOMPARE(QFileInfo(buffer).size(), 1048576);
        QVERIFY(video.SaveRecordingAs());
        QCOMPARE_GE(number(probe(dir_.filePath("buffered.avi"))["video"], "nb_read_packets"), 5);

        video.setVideoFileName(QStringLiteral("no-such-folder/buffered.avi"));
        QVERIFY(video.StartRecording());
        for (int i = 0; i < 4; ++i)
            QVERIFY(newFrame(video));
        QVERIFY(video.StopRecording());
        QVERIFY(!video.SaveRecordingAs());
        QCOMPARE(errors.count(), 1);
        QVERIFY2(errors[0][1].toString().endsWith("It is kept in " + buffer),
                 qPrintable(errors[0][1].toString()));
        video.setDriverOpen(false);
        QVERIFY(QFile::exists(buffer));
        QVERIFY(probe(buffer).contains("video"));
        QFile::remove(buffer);

        // A device destroyed while recording still copies the recording out.
        {
            TVideoCapture gone(drivers, dir_.path());
            gone.setDriverIndex(0);
            gone.setBufferFileSize(1);
            gone.setDriverOpen(true);
            gone.setVideoFileName(QStringLiteral("destroyed.avi"));
            QVERIFY(gone.StartRecording());
            for (int i = 0; i < 4; ++i)
                QVERIFY(newFrame(gone));
        }
        QCOMPARE_GE(number(probe(dir_.filePath("destroyed.avi"))["video"], "nb_read_packets"), 3);
    }

    // Past 1 GB the file goes on in OpenDML parts and every picture stays readable.
    void pastOneGigabyte() {
        if (QStorageInfo(dir_.path()).bytesAvailable() < (qint64(3) << 30))
            QSKIP("less than 3 GB free for the recording");
        RecordingSettings settings;
        settings.file = dir_.filePath("large.avi");
        settings.quality = 100;
        settings.microSecPerFrame = 100000;
        QString error;
        auto recorder = Recorder::start(settings, {1920, 1080}, {}, &error);
        QVERIFY2(recorder, qPrintable(error));
        // Noise does not compress: every picture is about a megabyte. Repeats of it fill
        // the slots up to a second picture far later.
        ff::FramePtr noise = greyFrame(1920, 1080, 0);
        for (int i = 0; i < noise->linesize[0] * 1080; ++i)
            noise->data[0][i] = uint8_t(std::rand());
        const Clock::time_point base = Clock::now();
        recorder->push(noise.get(), base + 50ms);
        recorder->push(noise.get(), base + 1500 * 100ms + 50ms);
        const RecordingResult result = recorder->stop();
        QCOMPARE_GT(result.bytes, (qint64(1) << 30));
        QCOMPARE(number(probe(settings.file)["video"], "nb_read_packets"), double(result.frames));
        QFile::remove(settings.file);
    }

private:
    QTemporaryDir dir_;
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
