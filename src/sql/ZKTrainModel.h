#pragma once

// The common base of the workout tables; it declares nothing.
class ZKTrainModel
{};
