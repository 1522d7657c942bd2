#pragma once

#include <QStringView>

#include <optional>

// A decimal text ("-12.345678", "+.5", "1.5e-3", surrounding blanks allowed) scaled by
// 10^decimals and truncated toward zero, computed on the digits so that no binary
// floating-point rounding creeps in: "121.123456" with 6 decimals is exactly 121123456.
// Empty when the text is no decimal number or the result does not fit 64 bits.
std::optional<qint64> parseScaledDecimal(QStringView text, int decimals);
