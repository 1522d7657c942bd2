#pragma once

// pybind11 for the Python host, with the conversions of the Qt types that cross into Python.
// Python's headers use "slots" as a field name, which Qt defines as a keyword.
#pragma push_macro("slots")
#undef slots
#include <pybind11/embed.h>
#pragma pop_macro("slots")

#include <QBuffer>
#include <QByteArray>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

namespace pybind11::detail {

// QString <-> str. None passes as a null text, the way a missing argument would.
template<>
struct type_caster<QString>
{
    PYBIND11_TYPE_CASTER(QString, const_name("str"));

    bool load(handle source, bool)
    {
        if (source.is_none()) {
            value = QString();
            return true;
        }
        if (!PyUnicode_Check(source.ptr()))
            return false;
        Py_ssize_t size = 0;
        const char *utf8 = PyUnicode_AsUTF8AndSize(source.ptr(), &size);
        if (!utf8) {
            PyErr_Clear();
            return false;
        }
        value = QString::fromUtf8(utf8, size);
        return true;
    }

    static handle cast(const QString &text, return_value_policy, handle)
    {
        const QByteArray utf8 = text.toUtf8();
        return PyUnicode_DecodeUTF8(utf8.constData(), utf8.size(), "replace");
    }
};

// QStringList <-> list of str; any other sequence, and a text itself, does not load.
template<>
struct type_caster<QStringList>
{
    PYBIND11_TYPE_CASTER(QStringList, const_name("list[str]"));

    bool load(handle source, bool convert)
    {
        if (!isinstance<sequence>(source) || isinstance<str>(source) || PyBytes_Check(source.ptr()))
            return false;
        QStringList texts;
        for (const handle item : reinterpret_borrow<sequence>(source)) {
            type_caster<QString> text;
            if (item.is_none() || !text.load(item, convert))
                return false;
            texts << static_cast<QString &>(text);
        }
        value = texts;
        return true;
    }

    static handle cast(const QStringList &texts, return_value_policy policy, handle parent)
    {
        list result;
        for (const QString &text : texts)
            result.append(reinterpret_steal<object>(type_caster<QString>::cast(text, policy, parent)));
        return result.release();
    }
};

// QByteArray <-> bytes.
template<>
struct type_caster<QByteArray>
{
    PYBIND11_TYPE_CASTER(QByteArray, const_name("bytes"));

    bool load(handle source, bool)
    {
        if (!PyBytes_Check(source.ptr()))
            return false;
        value = QByteArray(PyBytes_AS_STRING(source.ptr()), PyBytes_GET_SIZE(source.ptr()));
        return true;
    }

    static handle cast(const QByteArray &bytes, return_value_policy, handle)
    {
        return PyBytes_FromStringAndSize(bytes.constData(), bytes.size());
    }
};

// QPixmap <-> PNG bytes: Python has no pixmap type of its own, and the web pages show PNG.
template<>
struct type_caster<QPixmap>
{
    PYBIND11_TYPE_CASTER(QPixmap, const_name("bytes"));

    bool load(handle source, bool)
    {
        if (!PyBytes_Check(source.ptr()))
            return false;
        value = QPixmap();
        const QByteArray png(PyBytes_AS_STRING(source.ptr()), PyBytes_GET_SIZE(source.ptr()));
        return png.isEmpty() || value.loadFromData(png, "PNG");
    }

    static handle cast(const QPixmap &pixmap, return_value_policy, handle)
    {
        QByteArray png;
        if (!pixmap.isNull()) {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            pixmap.save(&buffer, "PNG");
        }
        return PyBytes_FromStringAndSize(png.constData(), png.size());
    }
};

// QVariant -> the matching Python value; what has no Python form becomes its text, or None.
template<>
struct type_caster<QVariant>
{
    PYBIND11_TYPE_CASTER(QVariant, const_name("object"));

    bool load(handle, bool) { return false; }

    static handle cast(const QVariant &variant, return_value_policy policy, handle parent)
    {
        switch (variant.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            return none().release();
        case QMetaType::Bool:
            return bool_(variant.toBool()).release();
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return int_(variant.toLongLong()).release();
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return int_(variant.toULongLong()).release();
        case QMetaType::Double:
        case QMetaType::Float:
            return float_(variant.toDouble()).release();
        case QMetaType::QString:
            return type_caster<QString>::cast(variant.toString(), policy, parent);
        case QMetaType::QByteArray:
            return type_caster<QByteArray>::cast(variant.toByteArray(), policy, parent);
        case QMetaType::QStringList:
        case QMetaType::QVariantList:
            return castList(variant.toList(), policy, parent);
        case QMetaType::QVariantMap:
            return castMap(variant.toMap(), policy, parent);
        default:
            break;
        }
        if (variant.canConvert<QString>())
            return type_caster<QString>::cast(variant.toString(), policy, parent);
        return none().release();
    }

private:
    static handle castList(const QVariantList &items, return_value_policy policy, handle parent)
    {
        list result;
        for (const QVariant &item : items)
            result.append(reinterpret_steal<object>(cast(item, policy, parent)));
        return result.release();
    }

    static handle castMap(const QVariantMap &items, return_value_policy policy, handle parent)
    {
        dict result;
        for (auto it = items.cbegin(); it != items.cend(); ++it)
            result[reinterpret_steal<object>(type_caster<QString>::cast(it.key(), policy, parent))] =
                reinterpret_steal<object>(cast(it.value(), policy, parent));
        return result.release();
    }
};

// QVariantList -> list (the asynchronous results).
template<>
struct type_caster<QVariantList>
{
    PYBIND11_TYPE_CASTER(QVariantList, const_name("list"));

    bool load(handle, bool) { return false; }

    static handle cast(const QVariantList &items, return_value_policy policy, handle parent)
    {
        return type_caster<QVariant>::cast(QVariant(items), policy, parent);
    }
};

} // namespace pybind11::detail
