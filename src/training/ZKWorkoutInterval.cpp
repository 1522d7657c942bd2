#include "training/ZKWorkoutInterval.h"

ZKWorkoutInterval::ZKWorkoutInterval(int id, const QString &name)
    : m_id(id)
    , m_name(name)
{}

void ZKWorkoutInterval::setGoto(int id, int repeat)
{
    m_gotoId = id;
    m_gotoRepeat = repeat;
}
