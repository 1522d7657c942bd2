#include "util/ZKGpxBike.h"

bool ZKGpxBike::isEmpty() const
{
    return name.isEmpty() && weight.isEmpty() && type.isEmpty() && wheel.isEmpty() && text.isEmpty();
}
