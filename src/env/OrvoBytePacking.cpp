#include "env/OrvoBytePacking.h"

#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"

#include <vector>

namespace {

qsizetype letterSize(char letter)
{
    switch (letter) {
    case 'B':
        return 1;
    case 'H':
        return 2;
    case 'L':
    case 'f':
        return 4;
    default:
        return 0;
    }
}

qsizetype letterCount(std::string_view format)
{
    qsizetype count = 0;
    for (char letter : format)
        count += letterSize(letter) > 0 ? 1 : 0;
    return count;
}

bool valueFits(char letter, const OrvoPackValue &value)
{
    return letter == 'f' || std::holds_alternative<qint64>(value);
}

bool targetFits(char letter, const OrvoUnpackTarget &target)
{
    switch (letter) {
    case 'B':
        return std::holds_alternative<quint8 *>(target) && std::get<quint8 *>(target);
    case 'H':
        return std::holds_alternative<quint16 *>(target) && std::get<quint16 *>(target);
    case 'L':
        return std::holds_alternative<quint32 *>(target) && std::get<quint32 *>(target);
    default:
        return std::holds_alternative<float *>(target) && std::get<float *>(target);
    }
}

double asDouble(const OrvoPackValue &value)
{
    return std::holds_alternative<double>(value) ? std::get<double>(value) : double(std::get<qint64>(value));
}

} // namespace

qsizetype packedSize(std::string_view format)
{
    qsizetype size = 0;
    for (char letter : format)
        size += letterSize(letter);
    return size;
}

qsizetype packStruct(QByteArray &out, qsizetype offset, std::string_view format,
                     std::initializer_list<OrvoPackValue> values)
{
    if (qsizetype(values.size()) != letterCount(format) || offset < 0 || offset > out.size() ||
        packedSize(format) > out.size() - offset)
        return -1;
    auto value = values.begin();
    for (char letter : format) {
        if (letterSize(letter) == 0)
            continue;
        if (!valueFits(letter, *value++))
            return -1;
    }

    OrvoByteWriter writer = OrvoByteWriter::patch(out, offset);
    value = values.begin();
    for (char letter : format) {
        switch (letter) {
        case 'B':
            writer.writeU8(quint8(std::get<qint64>(*value++)));
            break;
        case 'H':
            writer.writeU16Le(quint16(std::get<qint64>(*value++)));
            break;
        case 'L':
            writer.writeU32Le(quint32(std::get<qint64>(*value++)));
            break;
        case 'f':
            writer.writeFloatLe(float(asDouble(*value++)));
            break;
        default:
            break;
        }
    }
    return writer.ok() ? writer.offset() : -1;
}

qsizetype unpackStruct(const QByteArray &in, qsizetype offset, std::string_view format,
                       std::initializer_list<OrvoUnpackTarget> targets)
{
    if (qsizetype(targets.size()) != letterCount(format) || offset < 0 || offset > in.size() ||
        packedSize(format) > in.size() - offset)
        return -1;
    auto target = targets.begin();
    for (char letter : format) {
        if (letterSize(letter) == 0)
            continue;
        if (!targetFits(letter, *target++))
            return -1;
    }

    OrvoByteReader reader(in, offset);
    target = targets.begin();
    for (char letter : format) {
        switch (letter) {
        case 'B':
            *std::get<quint8 *>(*target++) = reader.readU8();
            break;
        case 'H':
            *std::get<quint16 *>(*target++) = reader.readU16Le();
            break;
        case 'L':
            *std::get<quint32 *>(*target++) = reader.readU32Le();
            break;
        case 'f':
            *std::get<float *>(*target++) = reader.readFloatLe();
            break;
        default:
            break;
        }
    }
    return reader.ok() ? reader.offset() : -1;
}

void splitU32(quint32 value, quint8 *b3, quint8 *b2, quint8 *b1, quint8 *b0)
{
    quint8 *const targets[] = {b0, b1, b2, b3};
    for (int i = 0; i < 4; ++i) {
        if (targets[i])
            *targets[i] = quint8(value >> (8 * i));
    }
}
