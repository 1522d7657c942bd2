#include "psf15/OrvoPSFWorkoutFrame_1_5.h"

#include "OrvoTestSupport.h"
#include "Psf15TestImage.h"

#include <gtest/gtest.h>

namespace {

using Psf15::Session;
using B = PsfImage15Builder;
using Kind = OrvoPSFInterval_1_5::DurationKind;

constexpr qsizetype kWorkoutSection = 0x6D28;
constexpr qsizetype kWorkoutRecords = 0x6D40;
constexpr qsizetype kWorkoutCapacity = 0x792C0;
constexpr qsizetype kIntervals = 0xA5000;
constexpr qsizetype kIntervalCapacity = 0x3DE0;
// Counters of the first management record.
constexpr qsizetype kWorkoutFree = 76;
constexpr qsizetype kWorkoutEnd = 84;
constexpr qsizetype kIntervalFree = 112;
constexpr qsizetype kIntervalEnd = 120;

TEST(OrvoPSFWorkoutFrame_1_5Test, LoadsWorkoutsWithIntervalsNamesAndDescriptions)
{
    Session session(Psf15::standardBuilder().build().bytes);
    const auto frame = session.workouts();
    ASSERT_EQ(frame->workouts().size(), 2u);

    const OrvoPSFWorkout_1_5 &hard = *frame->workouts()[0];
    EXPECT_EQ(hard.creationTime(), 1690000000);
    EXPECT_EQ(hard.number(), 7u);
    EXPECT_EQ(hard.name(QStringLiteral("eng")), QStringLiteral("Intervals"));
    ASSERT_EQ(hard.descriptions().size(), 1u);
    EXPECT_EQ(hard.descriptions()[0]->text(), QStringLiteral("Four hard efforts"));
    EXPECT_EQ(hard.size(), 40 + 21 + 29);
    ASSERT_EQ(hard.intervals().size(), 3u);
    EXPECT_EQ(hard.intervals()[0]->stepType().name(), QStringLiteral("Warmup"));
    EXPECT_EQ(hard.intervals()[0]->durationValue(), 600);
    EXPECT_EQ(hard.intervals()[1]->stepType().name(), QStringLiteral("Work"));
    EXPECT_EQ(hard.intervals()[2]->stepType().name(), QStringLiteral("Cool-down"));
    EXPECT_EQ(hard.intervals()[2]->linkIndexAt8(), 1);
    EXPECT_EQ(hard.intervals()[2]->repeatCount(), 3);
    EXPECT_EQ(hard.intervals()[0]->linkIndexAt8(), -1);

    const OrvoPSFWorkout_1_5 &recovery = *frame->workouts()[1];
    EXPECT_EQ(recovery.creationTime(), -1);
    EXPECT_TRUE(recovery.descriptions().empty());
    ASSERT_EQ(recovery.intervals().size(), 1u);
    EXPECT_EQ(recovery.intervals()[0]->stepType().name(), QStringLiteral("Recovery"));
}

TEST(OrvoPSFWorkoutFrame_1_5Test, CountsAndChainsEndTheWalks)
{
    const B::Image built = Psf15::standardBuilder().build();
    {
        QByteArray image = built.bytes;
        Psf15::putU16(image, kWorkoutSection + 8, 0xFFFF);
        Session session(image);
        EXPECT_TRUE(session.workouts()->workouts().empty()) << "an absent count loads no workouts";
    }
    QByteArray image = built.bytes;
    Psf15::putU32(image, kIntervals + 24 + 4, 0); // the second interval leads back to the first
    Psf15::putU32(image, kWorkoutRecords + built.workoutOffsets[1] + 28, 0);
    Psf15::putU16(image, kWorkoutSection + 8, 5);
    Session session(image);
    const auto frame = session.workouts();
    ASSERT_EQ(frame->workouts().size(), 2u);
    EXPECT_EQ(frame->workouts()[0]->intervals().size(), 2u);
}

TEST(OrvoPSFWorkoutFrame_1_5Test, NameChainEndsAtErasedFlash)
{
    // A stray has-next bit on the last workout's only name: erased flash follows, whose header
    // reads as a string of 0xFFFF bytes with the has-next bit set.
    const B::Image built = Psf15::standardBuilder().build();
    QByteArray image = built.bytes;
    const qsizetype recovery = kWorkoutRecords + built.workoutOffsets[1];
    const qsizetype name = recovery + qFromLittleEndian<quint32>(image.constData() + recovery + 32);
    image[name] = char(image[name] | 0x02);
    Session session(image);
    const auto frame = session.workouts();
    ASSERT_EQ(frame->workouts().size(), 2u);
    const OrvoPSFWorkout_1_5 &last = *frame->workouts()[1];
    EXPECT_EQ(last.names().size(), 1u);
    EXPECT_EQ(last.name(QStringLiteral("eng")), QStringLiteral("Recovery"));
    EXPECT_EQ(last.size(), 40 + 12 + 8);

    OrvoPSFWorkout_1_5 *added =
        frame->addWorkout({QStringLiteral("Easy")}, {QStringLiteral("eng")}, {}, {}, false, session.layout());
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(frame->workoutOffset(*added), built.workoutOffsets[1] + 40 + 12 + 8);
    EXPECT_NE(frame->addInterval(*added, session.layout()), nullptr);
}

TEST(OrvoPSFWorkoutFrame_1_5Test, AddWorkoutWritesNamesThenDescriptions)
{
    Session session(B().build().bytes);
    const auto frame = session.workouts();
    const OrvoPSFWorkout_1_5 *first =
        frame->addWorkout({QStringLiteral("Ride hard")}, {QStringLiteral("eng")}, {QStringLiteral("Go")},
                          {QStringLiteral("eng")}, false, session.layout());
    ASSERT_NE(first, nullptr);
    QByteArray image = session.image();
    const QByteArray record = QByteArray::fromHex("00000000 00000000 FFFFFFFF FFFFFFFF"  // no time, number, links
                                                  "00 00 00 00 FFFFFFFF 00000000"        // attributes, words 20, 24
                                                  "FFFFFFFF 28000000 3D000000"           // last; names; descriptions
                                                  "00 00 0900 656E6700 0000 0000"        // a new name string
                                                  "526964652068617264"                   // "Ride hard"
                                                  "FC 00 0200 656E6700 FFFF FFFF 476F"); // over erased flash: "Go"
    EXPECT_EQ(image.mid(kWorkoutRecords, 76), record + '\xFF');
    EXPECT_EQ(Psf15::u16At(image, kWorkoutSection + 8), 1);
    EXPECT_EQ(Psf15::u32At(image, kWorkoutFree), quint32(kWorkoutCapacity - 75));
    EXPECT_EQ(Psf15::u32At(image, kWorkoutEnd), quint32(kWorkoutRecords + 75));

    ASSERT_NE(frame->addWorkout({QStringLiteral("Easy")}, {QStringLiteral("eng")}, {}, {}, false, session.layout()),
              nullptr);
    image = session.image();
    EXPECT_EQ(Psf15::u32At(image, kWorkoutRecords + 28), 75u) << "the first workout links the second";
    EXPECT_EQ(Psf15::u32At(image, kWorkoutRecords + 75 + 36), 0xFFFFFFFFu) << "no descriptions";
    const auto again = session.workouts();
    ASSERT_EQ(again->workouts().size(), 2u);
    EXPECT_EQ(again->workouts()[0]->descriptions()[0]->text(), QStringLiteral("Go"));
    EXPECT_EQ(again->workouts()[1]->name(QString()), QStringLiteral("Easy"));
}

TEST(OrvoPSFWorkoutFrame_1_5Test, AddWorkoutThatDoesNotFitChangesNothing)
{
    QByteArray image = B().build().bytes;
    Psf15::putU32(image, kWorkoutFree, 40 + 16);
    Session session(image);
    const auto frame = session.workouts();
    EXPECT_EQ(frame->addWorkout({QStringLiteral("Ride")}, {QStringLiteral("eng")}, {QStringLiteral("Far")},
                                {QStringLiteral("eng")}, false, session.layout()),
              nullptr);
    EXPECT_EQ(session.image(), image);
    EXPECT_NE(frame->addWorkout({QStringLiteral("Ride")}, {QStringLiteral("eng")}, {}, {}, false, session.layout()),
              nullptr)
        << "without its description it fits exactly";
}

TEST(OrvoPSFWorkoutFrame_1_5Test, IntervalsArePackedInWorkoutOrder)
{
    B builder;
    B::Workout workout;
    workout.intervals = {{1, 1, 60, -1, 0}, {2, 1, 60, -1, 0}};
    builder.addWorkout(workout);
    builder.addWorkout(B::Workout());
    Session session(builder.build().bytes);
    const auto frame = session.workouts();
    ASSERT_EQ(frame->workouts().size(), 2u);

    const OrvoPSFInterval_1_5 *added = frame->addInterval(*frame->workouts()[1], session.layout());
    ASSERT_NE(added, nullptr);
    QByteArray image = session.image();
    EXPECT_EQ(added->data() - frame->intervalBase().data(), 48);
    EXPECT_EQ(image.mid(kIntervals + 48, 24), QByteArray::fromHex("00000000 FFFFFFFF") + QByteArray(16, '\0'));
    EXPECT_EQ(frame->workouts()[1]->firstInterval(), 48);

    ASSERT_NE(frame->addInterval(*frame->workouts()[0], session.layout()), nullptr);
    image = session.image();
    EXPECT_EQ(Psf15::u32At(image, kIntervals + 24 + 4), 72u) << "the first workout's last interval links it";
    EXPECT_EQ(Psf15::u32At(image, kIntervalFree), quint32(kIntervalCapacity - 48 - 48));
    EXPECT_EQ(Psf15::u32At(image, kIntervalEnd), quint32(kIntervals + 96));
    const auto again = session.workouts();
    EXPECT_EQ(again->workouts()[0]->intervals().size(), 3u);
    EXPECT_EQ(again->workouts()[1]->intervals().size(), 1u);
}

TEST(OrvoPSFWorkoutFrame_1_5Test, ChangesRefusedAwayFromTheAreaTable)
{
    const QByteArray built = Psf15::standardBuilder().build().bytes;
    struct Case
    {
        const char *name;
        qsizetype offset;
        quint32 value;
    };
    const Case cases[] = {
        {"recordsMoved", kWorkoutSection, 0x20},
        {"intervalsMoved", kWorkoutSection + 4, quint32(kIntervals - kWorkoutSection + 8)},
        {"intervalOutsideItsArea", kIntervals + 4, 0x10000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray image = built;
        Psf15::putU32(image, c.offset, c.value);
        Session session(image);
        const auto frame = session.workouts();
        ASSERT_FALSE(frame->workouts().empty());
        EXPECT_EQ(frame->addWorkout({QStringLiteral("New")}, {QStringLiteral("eng")}, {}, {}, false, session.layout()),
                  nullptr);
        EXPECT_EQ(frame->addInterval(*frame->workouts()[0], session.layout()), nullptr);
        EXPECT_EQ(session.image(), image);
    }
    Session session(built);
    const auto frame = session.workouts();
    const auto other = session.workouts();
    EXPECT_EQ(frame->addInterval(*other->workouts()[0], session.layout()), nullptr) << "a workout of another frame";
    EXPECT_EQ(session.image(), built);
}

struct DurationCase
{
    const char *name;
    Kind kind;
    qint64 value;
    bool stored;
    quint16 word;
    bool scaled;
};

const DurationCase kDurations[] = {
    {"timeOf72000sAsMinutes", Kind::Time, 72000, true, 1200, true},
    {"shortTimeAsIs", Kind::Time, 600, true, 600, false},
    {"largestPlainWord", Kind::Distance, 32767, true, 32767, false},
    {"distanceAsHundreds", Kind::Distance, 32768, true, 327, true},
    {"longDistance", Kind::Distance, 200000, true, 2000, true},
    {"negativeWordAsIs", Kind::Other, -5, true, 0xFFFB, false},
    {"otherKindTooLarge", Kind::Other, 40000, false, 0, false},
    {"timeTooLargeEvenScaled", Kind::Time, 60 * 40000, false, 0, false},
};

TEST(OrvoPSFWorkoutFrame_1_5Test, LargeDurationsAreStoredScaled)
{
    for (const DurationCase &c : kDurations) {
        SCOPED_TRACE(c.name);
        QByteArray bytes(24, '\0');
        OrvoPSFInterval_1_5 interval(OrvoPSFObject::spanOf(bytes), true);
        interval.setStepType(3);
        EXPECT_EQ(interval.setDuration(7, c.value, c.kind), c.stored);
        if (!c.stored) {
            EXPECT_EQ(bytes.mid(0, 4), QByteArray::fromHex("03000000")) << "nothing is written";
            continue;
        }
        EXPECT_EQ(interval.durationType(), 7);
        EXPECT_EQ(interval.durationValue(), c.word);
        EXPECT_EQ(interval.isDurationScaled(), c.scaled);
        EXPECT_EQ(quint8(bytes[0]) & 0x07, 3) << "the step type stays";
        const qint64 back = c.kind == Kind::Distance ? c.value / 100 * 100 : c.value / 60 * 60;
        EXPECT_EQ(interval.duration(c.kind), c.scaled ? back : c.value);
    }
}

TEST(OrvoPSFWorkoutFrame_1_5Test, IntervalFlagsKeepTheirFixedBits)
{
    QByteArray bytes(24, '\0');
    OrvoPSFInterval_1_5 interval(OrvoPSFObject::spanOf(bytes), true);
    interval.setStepFlags(true, false, true);
    interval.setTarget(0x40, 0x80);
    interval.setTargetHighBits(0x1, 0xF);
    interval.setTargetType(5);
    interval.setStepType(OrvoPSFStepType::fromName(QStringLiteral("sprint")));
    EXPECT_EQ(bytes.mid(0, 1), QByteArray::fromHex("56"));
    EXPECT_EQ(bytes.mid(13, 6), QByteArray::fromHex("40 80 00 00 7B F1"));
    EXPECT_TRUE(interval.targetFlag());
    EXPECT_FALSE(interval.lapNeeded());
    EXPECT_TRUE(interval.durationFlag());
}

TEST(OrvoPSFWorkoutFrame_1_5Test, ClearingLinksAndWorkouts)
{
    Session session(Psf15::standardBuilder().build().bytes);
    const auto frame = session.workouts();
    ASSERT_GE(frame->workouts()[0]->firstWorkoutLog(), 0);
    frame->clearWorkoutLogLinks();
    for (const auto &workout : frame->workouts())
        EXPECT_EQ(workout->data()[12] & workout->data()[13] & workout->data()[14] & workout->data()[15], 0xFF);

    frame->clear(session.layout());
    const QByteArray image = session.image();
    EXPECT_TRUE(frame->workouts().empty());
    EXPECT_EQ(Psf15::u16At(image, kWorkoutSection + 8), 0);
    EXPECT_EQ(image.mid(kWorkoutRecords, kWorkoutCapacity), QByteArray(kWorkoutCapacity, '\xFF'));
    EXPECT_EQ(image.mid(kIntervals, kIntervalCapacity), QByteArray(kIntervalCapacity, '\xFF'));
    EXPECT_EQ(Psf15::u32At(image, 512 + kWorkoutFree), quint32(kWorkoutCapacity));
    EXPECT_EQ(Psf15::u32At(image, 512 + kWorkoutEnd), quint32(kWorkoutRecords));
    EXPECT_EQ(Psf15::u32At(image, 512 + kIntervalFree), quint32(kIntervalCapacity));
    EXPECT_EQ(Psf15::u32At(image, 512 + kIntervalEnd), quint32(kIntervals));
    EXPECT_EQ(image.mid(kWorkoutSection, 8), Psf15::standardBuilder().build().bytes.mid(kWorkoutSection, 8));
}

} // namespace
