#pragma once

#include <QString>

#include <array>

struct OrvoClientData;

// One shareable device item as the web application reads it: 24 texts, all empty until filled
// from a device item. The index names the text; texts without a name are never filled.
class OrvoShareItem
{
public:
    enum Text : int {
        ItemId = 0,
        Name = 1,
        NamePicture = 2,
        // Written as "category", "activity_type" and "filesize".
        Category = 3,
        Description = 4,
        Xyz = 5,
        SecondValue = 6,
        SecondText = 12,
        Distance = 14,
        ThirdValue = 15,
        StartTime = 16,
        EndTime = 17,
        Difficulty = 18,
        Uploaded = 20,
        WorkoutType = 21,
        SubType = 22,
        ItemIdText = 23,
    };
    static constexpr int kTextCount = 24;

    QString text(Text index) const;
    void setText(Text index, const QString &value);

    // Fills the texts from the item: numbers in decimal, times in UTC, the name image as the
    // lower-case hexadecimal text of its PNG bytes (empty for a null image).
    void fromDeviceItem(const OrvoClientData &item);

private:
    std::array<QString, kTextCount> m_texts;
};
