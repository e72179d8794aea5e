// A long session in one process: a thousand loads of varied pictures, each followed by a run
// with varied settings. Memory must settle after the first hundred and stay there; under the
// sanitizers, LeakSanitizer checks at exit that nothing was lost.
#include "MemoryProbe.h"

#include "canvas/CanvasModel.h"
#include "engine/GenerationRun.h"
#include "loading/PictureLoader.h"
#include "settings/SettingValues.h"

#include "TestPictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

constexpr int Rounds = 1000;
constexpr int WarmUpRounds = 100;
// Resident memory may move this much after the warm-up (allocator caches, not leaks).
constexpr qint64 GrowthBoundKb = 8 * 1024;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
constexpr bool Sanitized = __has_feature(address_sanitizer);
#else
constexpr bool Sanitized = false;
#endif

QImage scene(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    QLinearGradient sky(0, 0, w, h);
    sky.setColorAt(0, Qt::black);
    sky.setColorAt(1, QColor(250, 240, 200));
    p.fillRect(0, 0, w, h * 2 / 3, sky);
    p.setBrush(QColor(200, 40, 40, 180));
    p.drawEllipse(w / 4, h / 4, w / 2, h / 2);
    return image;
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_pictures;
    QStringList m_metafiles;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const auto add = [&](const QString& name, const QByteArray& bytes) {
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            m_pictures.append(file.fileName());
        };
        // Pictures of the sizes people load: reduced onto the Canvas, drawn 1:1, cut.
        add("photo.jpg", encode(scene(1600, 1200).convertToFormat(QImage::Format_RGB32), "JPEG"));
        add("canvas.bmp", encode(scene(529, 369), "BMP"));
        add("alpha.png", encode(scene(640, 480), "PNG"));
        add("grey.jpg", encode(scene(300, 200).convertToFormat(QImage::Format_Grayscale8), "JPEG"));
        add("wide.png", encode(scene(3000, 40), "PNG"));
        add("tall.png", encode(scene(20, 2000), "PNG"));
        // Two that do not read.
        add("cut.png", encode(scene(200, 100), "PNG").left(300));
        add("notes.jpg", "not a picture\r\n");
        // Every small picture the fuzz targets start from, metafiles included.
        const QString corpus = QStringLiteral(TESSIVO_SOURCE_DIR "/fuzz/corpus");
        for (const char* family : {"picture_qt", "picture_wmf", "picture_emf"}) {
            const QDir dir(corpus + QLatin1Char('/') + QLatin1String(family));
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                (family == QLatin1String("picture_qt") ? m_pictures : m_metafiles)
                    .append(dir.filePath(name));
        }
        QVERIFY(m_pictures.size() > 20 && m_metafiles.size() > 4);
    }

    void loadsAndRuns()
    {
        QRandomGenerator random(20261207);
        const auto between = [&](int low, int high) { return int(random.bounded(low, high + 1)); };

        CanvasModel canvas;
        PictureHolder holder;
        SettingValues settings;
        GenerationRun run;
        int loaded = 0;
        qint64 warmKb = 0;
        qint64 highestKb = 0;
        QList<qint64> checkpoints;

        for (int round = 1; round <= Rounds; ++round) {
            // A metafile is drawn by a child process of its own: one load in ten is one.
            const QStringList& files = round % 10 == 0 ? m_metafiles : m_pictures;
            const QString& picture = files[random.bounded(files.size())];
            loaded += LoadPictureOntoCanvas(picture, canvas, holder) ? 1 : 0;

            settings.setValue(Setting::SampleX, between(2, 300));
            settings.setValue(Setting::SampleY, between(2, 300));
            settings.setValue(Setting::ColorLevel, between(1, 10));
            settings.setValue(Setting::Contrast, between(1, 1500));
            settings.setValue(Setting::IgnoreValue, between(1, 30));
            settings.setValue(Setting::PictureFit, between(1, 100));
            settings.setRemoveBlankLines(random.bounded(2) == 1);
            if (random.bounded(20) == 0) // now and then another Canvas size
                canvas.setSizeTwips(between(1, 7935), between(0, 5895));
            run.setBandCount(between(1, 100));
            QCOMPARE(run.start(canvas, settings), GenerationRun::StartResult::Started);
            while (run.tick(canvas, settings) != GenerationRun::TickOutcome::Finished) {
            }
            QVERIFY(run.art().isEmpty() || run.art().endsWith(QLatin1String("\r\n")));

            // What one round leaves behind varies with its settings (the last result text, the
            // held picture, the Canvas's size): every hundredth round it is let go and memory
            // compared, where it must have returned to the level it had after the first hundred.
            if (round % 100 == 0) {
                run = GenerationRun();
                holder = PictureHolder();
                canvas.setSizeTwips(CanvasModel::StartWidth, CanvasModel::StartHeight);
                malloc_trim(0);
                const qint64 rss = MemoryProbe::residentKb();
                if (round == WarmUpRounds)
                    warmKb = rss;
                highestKb = std::max(highestKb, rss);
                checkpoints.append(rss);
            }
        }

        QStringList figures;
        for (const qint64 kb : checkpoints)
            figures.append(QString::number(kb / 1024.0, 'f', 1));
        qInfo("%d loads (%d read), %d runs; resident MB every 100 rounds: %s; growth after "
              "round %d: %lld kB",
              Rounds, loaded, Rounds, qPrintable(figures.join(QLatin1String(" "))), WarmUpRounds,
              highestKb - warmKb);
        QVERIFY(loaded > Rounds / 2);
        // The sanitizers hold freed memory back on purpose; there LeakSanitizer does the check.
        if (!Sanitized)
            QVERIFY2(highestKb - warmKb < GrowthBoundKb,
                     qPrintable(QStringLiteral("grew by %1 kB").arg(highestKb - warmKb)));
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
