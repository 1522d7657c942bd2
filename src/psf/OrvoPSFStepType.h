#pragma once

#include <QString>

// The step code of a workout interval: 1 "Warmup" to 7 "Walk"; every other code is "Other".
class OrvoPSFStepType
{
public:
    explicit OrvoPSFStepType(int type = 0);

    int type() const;
    QString name() const;

    // The code whose name equals text ignoring case; 0 for any other text, "Other" included.
    static int fromName(const QString &text);

private:
    int m_type = 0;
};
