#include "psf/OrvoPSFBitFontCreator.h"
#include "psf/OrvoPSFBitFontCreatorSupport.h"
#include "psf/OrvoPSFMultiLangString_1_5.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace {

using String = OrvoPSFMultiLangString_1_5;

// A record rendered apart, in a buffer as large as any string can be.
struct Rendered
{
    QByteArray bytes = QByteArray(12 + 0xFFFF, '\0');
    String string{OrvoPSFObject::spanOf(bytes), true};
};

int inkCount(const QImage &image)
{
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    }
    return ink;
}

// The columns from the leftmost to the rightmost ink; (-1, -1) without any.
std::pair<int, int> inkColumns(const QImage &image)
{
    int left = -1;
    int right = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qGray(image.pixel(x, y)) < 128) {
                left = left < 0 ? x : left;
                right = x;
            }
        }
    }
    return {left, right};
}

QString shortened(const QString &text, int width, int height)
{
    QImage canvas(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    QPainter painter(&canvas);
    painter.setFont(String::bitFont());
    QString shown = text;
    String::calcPaintSize(painter, shown, width, height);
    return shown;
}

QByteArray renderedName(const QString &text)
{
    QByteArray bytes(300, '\0');
    String string(OrvoPSFObject::spanOf(bytes), true);
    string.createBitfont(text, false);
    return bytes.left(string.size());
}

class RecordingCreator : public OrvoPSFBitFontCreator
{
public:
    bool createBitfontFor(OrvoPSFMultiLangString_1_5 *target, const QString &text, bool isDesc) override
    {
        requests.append(text + (isDesc ? QStringLiteral(" (description)") : QString()));
        return target->setPayload("drawn elsewhere");
    }
    QStringList requests;
};

QString outputPath(const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVO_TEST_BUILD_DIR") + QStringLiteral("/test-output/psf");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

TEST(OrvoPSFBitFontRenderTest, TheFontIsAnUnsmoothedDebianSansWithCjkGlyphs)
{
    const QFont font = String::bitFont();
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(font.styleStrategy() & QFont::NoAntialias, QFont::NoAntialias);
    EXPECT_FALSE(font.italic());
    const QFontMetrics metrics(font);
    EXPECT_TRUE(metrics.inFontUcs4(U'A'));
    EXPECT_TRUE(metrics.inFontUcs4(U'\u4E2D')); // 中
    EXPECT_TRUE(metrics.inFontUcs4(U'\u3042')); // あ
}

const char *const kNames[] = {"", "Ride", "Morning loop around the lake and back home again", "中文名字", "Äpfel & Öl"};

TEST(OrvoPSFBitFontRenderTest, ANameIsAlwaysOne128By16Line)
{
    for (const char *name : kNames) {
        SCOPED_TRACE(name);
        Rendered r;
        ASSERT_TRUE(r.string.setString(QString::fromUtf8(name), QStringLiteral("eng"), true, false));
        EXPECT_EQ(r.string.payloadLength(), 256);
        EXPECT_EQ(r.string.imageWidth(), 128);
        EXPECT_EQ(r.string.imageHeight(), 16);
        EXPECT_EQ(r.string.size(), 268);
        const QImage image = r.string.toImage();
        ASSERT_EQ(image.size(), QSize(128, 16));
        EXPECT_EQ(inkCount(image) > 0, *name != '\0');
    }
}

TEST(OrvoPSFBitFontRenderTest, TextIsDrawnInkOnPaperFromTheTopLeft)
{
    Rendered r;
    ASSERT_TRUE(r.string.createBitfont(QStringLiteral("Ride 42"), false));
    const QImage image = r.string.toImage();
    const int textWidth = QFontMetrics(String::bitFont()).horizontalAdvance(QStringLiteral("Ride 42"));
    const auto [left, right] = inkColumns(image);
    EXPECT_LE(left, 2);
    EXPECT_GT(right, textWidth / 2);
    EXPECT_LE(right, textWidth);
    // Ink is the minority: a swapped polarity would paint the line black.
    EXPECT_LT(inkCount(image), 128 * 16 / 4);
}

TEST(OrvoPSFBitFontRenderTest, ATooWideNameIsShortenedFromItsEnd)
{
    const QString text = QStringLiteral("Morning loop around the lake and back home again");
    const QString shown = shortened(text, 128, 16);
    ASSERT_LT(shown.size(), text.size());
    EXPECT_TRUE(text.startsWith(shown));
    EXPECT_GT(shown.size(), 6);
    const QFontMetrics metrics(String::bitFont());
    EXPECT_LE(metrics.horizontalAdvance(shown), 128);
    EXPECT_GT(metrics.horizontalAdvance(text.left(shown.size() + 1)), 128);

    // The stored name is the shortened text's, not a wrapped or clipped whole.
    EXPECT_EQ(renderedName(text).mid(12), renderedName(shown).mid(12));
}

struct ShortenCase
{
    const char *name;
    QString text;
    int width;
    QString shown;
};

const ShortenCase kShortenCases[] = {
    {"fits", QStringLiteral("Ride"), 128, QStringLiteral("Ride")},
    {"keeps six characters", QStringLiteral("WWWWWWWWWW"), 20, QStringLiteral("WWWWWW")},
    {"five characters are never shortened", QStringLiteral("WWWWW"), 20, QStringLiteral("WWWWW")},
    {"surrogate pairs stay whole", QStringLiteral("AAAAA\U0001F6B2\U0001F6B2\U0001F6B2"), 20,
     QStringLiteral("AAAAA\U0001F6B2")},
};

TEST(OrvoPSFBitFontRenderTest, ShorteningStopsAtSixCharacters)
{
    for (const ShortenCase &c : kShortenCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shortened(c.text, c.width, 16), c.shown);
    }
}

TEST(OrvoPSFBitFontRenderTest, ADescriptionGrowsDownwardsInWholeRows)
{
    const int lineHeight = [] {
        QImage canvas(128, 16, QImage::Format_RGB32);
        QPainter painter(&canvas);
        painter.setFont(String::bitFont());
        return painter.boundingRect(QRect(0, 0, 128, 16), Qt::TextWordWrap, QStringLiteral("Ay")).height();
    }();

    Rendered one;
    ASSERT_TRUE(one.string.setString(QStringLiteral("Easy spin"), QStringLiteral("eng"), true, true));
    EXPECT_EQ(one.string.imageWidth(), 128);
    EXPECT_EQ(one.string.imageHeight(), lineHeight);
    EXPECT_EQ(one.string.payloadLength(), 16 * lineHeight);

    Rendered three;
    const QString words = QStringLiteral("Ten minutes easy, then five hard efforts of three minutes with two minutes "
                                         "of rest between them");
    ASSERT_TRUE(three.string.setString(words, QStringLiteral("eng"), true, true));
    EXPECT_GE(three.string.imageHeight(), 3 * lineHeight);
    EXPECT_EQ(three.string.imageHeight() % lineHeight, 0);
    EXPECT_EQ(three.string.payloadLength(), 16 * three.string.imageHeight());
    EXPECT_EQ(three.string.toImage().size(), QSize(128, three.string.imageHeight()));

    Rendered empty;
    ASSERT_TRUE(empty.string.setString(QString(), QStringLiteral("eng"), true, true));
    EXPECT_EQ(empty.string.payloadLength(), 0);
    EXPECT_TRUE(empty.string.toImage().isNull());
}

TEST(OrvoPSFBitFontRenderTest, ALongDescriptionIsClippedToItsBuffer)
{
    OrvoMessageCapture capture;
    Rendered r;
    QStringList words;
    for (int i = 0; i < 3000; ++i)
        words.append(QStringLiteral("word%1").arg(i));
    ASSERT_TRUE(r.string.createBitfont(words.join(QLatin1Char(' ')), true));
    EXPECT_EQ(r.string.imageWidth(), 128);
    EXPECT_GT(r.string.imageHeight(), 2000);
    EXPECT_LE(r.string.imageHeight(), 2048);
    EXPECT_EQ(r.string.payloadLength(), 16 * r.string.imageHeight());
    EXPECT_LE(r.string.payloadLength(), String::kDescriptionBytes);
}

TEST(OrvoPSFBitFontRenderTest, AWordWiderThanTheLineIsReportedAndClipped)
{
    OrvoMessageCapture capture;
    Rendered r;
    ASSERT_TRUE(r.string.createBitfont(QString(4000, QLatin1Char('W')), true));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("calcPaintSize: word is too long toPaint width=")));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("canPaint width=128")));
    EXPECT_EQ(r.string.imageWidth(), 128);
    EXPECT_EQ(r.string.imageHeight(), 2048);
    EXPECT_EQ(r.string.payloadLength(), String::kDescriptionBytes);
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("clipped")));
}

TEST(OrvoPSFBitFontRenderTest, TheCurrentCreatorBelongsToTheThreadThatSetIt)
{
    RecordingCreator creator;
    setCurrentBitFontCreator(&creator);
    Rendered viaCreator;
    EXPECT_TRUE(viaCreator.string.setString(QStringLiteral("Ride"), QStringLiteral("eng"), true, true));

    OrvoPSFBitFontCreator *seenByWorker = &creator;
    std::thread worker([&] { seenByWorker = currentBitFontCreator(); });
    worker.join();
    setCurrentBitFontCreator(nullptr);

    EXPECT_EQ(creator.requests, QStringList{QStringLiteral("Ride (description)")});
    EXPECT_EQ(viaCreator.string.text(), QStringLiteral("drawn elsewhere"));
    EXPECT_EQ(seenByWorker, nullptr);

    // Without a creator the record draws itself.
    Rendered direct;
    EXPECT_TRUE(direct.string.setString(QStringLiteral("Ride"), QStringLiteral("eng"), true, false));
    EXPECT_EQ(direct.string.payloadLength(), 256);
    EXPECT_EQ(creator.requests.size(), 1);
}

TEST(OrvoPSFBitFontRenderTest, AWorkerRendersWhileTheGuiThreadWaitsForIt)
{
    // The GUI thread blocks in wait() without running its event loop, as a client's destructor
    // does: a worker that needed the GUI thread to draw would never finish.
    QByteArray workerBytes;
    QThread *thread = QThread::create([&workerBytes] {
        OrvoPSFBitFontCreatorSupport creator;
        setCurrentBitFontCreator(&creator);
        workerBytes = QByteArray(300, '\0');
        String string(OrvoPSFObject::spanOf(workerBytes), true);
        string.setString(QStringLiteral("Worker ride"), QStringLiteral("eng"), true, false);
        setCurrentBitFontCreator(nullptr);
        workerBytes.truncate(string.size());
    });
    thread->start();
    const bool finished = thread->wait(QDeadlineTimer(20000));
    EXPECT_TRUE(finished);
    if (!finished) {
        thread->terminate();
        thread->wait();
    }
    delete thread;

    QByteArray guiBytes = renderedName(QStringLiteral("Worker ride"));
    EXPECT_EQ(workerBytes.size(), 268);
    EXPECT_EQ(workerBytes.mid(12), guiBytes.mid(12));
}

TEST(OrvoPSFBitFontRenderTest, RenderedNamesAreSavedForAPersonToLookAt)
{
    QImage sheet(128, 16 * 4, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    const QStringList names = {QStringLiteral("Ride 42"), QStringLiteral("Morning loop around the lake"),
                               QString::fromUtf8("中文名字 あいう"), QString::fromUtf8("Äpfel & Öl")};
    for (int i = 0; i < names.size(); ++i) {
        Rendered r;
        ASSERT_TRUE(r.string.createBitfont(names.at(i), false));
        painter.drawImage(0, 16 * i, r.string.toImage());
    }
    painter.end();
    const QString path = outputPath(QStringLiteral("rendered-names.png"));
    ASSERT_TRUE(sheet.scaled(sheet.size() * 4).save(path, "PNG"));
    EXPECT_EQ(QImage(path).size(), QSize(512, 256));
}

} // namespace
