#include "psf/OrvoPSFStepType.h"

#include <array>

namespace {

// Names of the codes 1 to 7, in code order.
constexpr std::array<const char *, 7> kStepNames = {"Warmup",   "Work",   "Steady", "Cool-down",
                                                    "Recovery", "Sprint", "Walk"};

} // namespace

OrvoPSFStepType::OrvoPSFStepType(int type)
    : m_type(type)
{}

int OrvoPSFStepType::type() const
{
    return m_type;
}

QString OrvoPSFStepType::name() const
{
    if (m_type < 1 || m_type > int(kStepNames.size()))
        return QStringLiteral("Other");
    return QLatin1String(kStepNames[size_t(m_type - 1)]);
}

int OrvoPSFStepType::fromName(const QString &text)
{
    for (size_t i = 0; i < kStepNames.size(); ++i) {
        if (text.compare(QLatin1String(kStepNames[i]), Qt::CaseInsensitive) == 0)
            return int(i) + 1;
    }
    return 0;
}
