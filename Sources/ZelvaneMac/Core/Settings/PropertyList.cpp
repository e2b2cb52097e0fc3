#include "ZelvaneMac/Core/Settings/PropertyList.hpp"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTimeZone>

#include <plist/plist.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <memory>

#include "Platform/FileReplacement.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

namespace zelvane::PropertyList {
namespace {

// libplist parses <real> with strtod, which follows LC_NUMERIC: under a locale with a decimal
// comma "1.5" would read as 1. Its calls run under the C locale, switched for this thread only.
class CNumericLocaleScope final {
public:
    CNumericLocaleScope() : previous_(uselocale(cLocale())) {}
    ~CNumericLocaleScope() { uselocale(previous_); }
    CNumericLocaleScope(const CNumericLocaleScope&) = delete;
    CNumericLocaleScope& operator=(const CNumericLocaleScope&) = delete;

private:
    static locale_t cLocale() {
        // Immutable once made; shared by every thread for the life of the process.
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        return c;
    }
    locale_t previous_;
};

struct PlistDeleter {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, MallocDeleter>;

// Nesting beyond this is dropped: no preference needs it, and a hostile file must not exhaust
// the stack of the converter.
constexpr int kMaxDepth = 64;

// Seconds between 1970-01-01 and the property-list epoch 2001-01-01 (UTC).
constexpr int64_t kPlistEpochUnixSeconds = 978307200;

QVariant toVariant(plist_t node, int depth) {
    if (!node || depth > kMaxDepth) return {};
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return QVariant(b != 0);
    }
    case PLIST_UINT: {
        // The format keeps 64 bits; XML integers are written and read as signed values.
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return QVariant(static_cast<qlonglong>(v));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return QVariant(d);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char* s = nullptr;
        plist_get_string_val(node, &s);
        MallocPtr<char> owned(s);
        return QVariant(QString::fromUtf8(s ? s : ""));
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &bytes, &len);
        MallocPtr<char> owned(bytes);
        if (len > static_cast<uint64_t>(std::numeric_limits<qsizetype>::max())) return {};
        return QVariant(QByteArray(bytes ? bytes : "", static_cast<qsizetype>(bytes ? len : 0)));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        const qint64 ms = (static_cast<qint64>(sec) + kPlistEpochUnixSeconds) * 1000 + usec / 1000;
        return QVariant(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        list.reserve(static_cast<qsizetype>(n));
        for (uint32_t i = 0; i < n; ++i) {
            QVariant v = toVariant(plist_array_get_item(node, i), depth + 1);
            if (v.isValid()) list.append(std::move(v));
        }
        return QVariant(list);
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        MallocPtr<void> ownedIter(it);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            MallocPtr<char> ownedKey(key);
            if (!key) break;
            QVariant v = toVariant(value, depth + 1);
            if (v.isValid()) map.insert(QString::fromUtf8(key), std::move(v));
        }
        return QVariant(map);
    }
    default:
        return {};
    }
}

// Null for a value that cannot be stored.
PlistPtr fromVariant(const QVariant& value, int depth) {
    if (depth > kMaxDepth) return nullptr;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return PlistPtr(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::UShort:
        return PlistPtr(plist_new_uint(static_cast<uint64_t>(value.toLongLong())));
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong u = value.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<qlonglong>::max())) return nullptr;
        return PlistPtr(plist_new_uint(static_cast<uint64_t>(u)));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return PlistPtr(plist_new_real(value.toDouble()));
    case QMetaType::QString:
        return PlistPtr(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::QByteArray: {
        const QByteArray b = value.toByteArray();
        return PlistPtr(plist_new_data(b.constData(), static_cast<uint64_t>(b.size())));
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid()) return nullptr;
        const qint64 ms = dt.toMSecsSinceEpoch() - kPlistEpochUnixSeconds * 1000;
        qint64 sec = ms / 1000, rem = ms % 1000;
        if (rem < 0) { rem += 1000; sec -= 1; }
        if (sec < std::numeric_limits<int32_t>::min() || sec > std::numeric_limits<int32_t>::max()) return nullptr;
        return PlistPtr(plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(rem * 1000)));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        PlistPtr array(plist_new_array());
        const QVariantList items = value.toList();
        for (const QVariant& item : items) {
            PlistPtr child = fromVariant(item, depth + 1);
            if (!child) return nullptr;
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        PlistPtr dict(plist_new_dict());
        const QVariantMap items = value.toMap();
        for (auto it = items.cbegin(); it != items.cend(); ++it) {
            PlistPtr child = fromVariant(it.value(), depth + 1);
            if (!child) return nullptr;
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child.release());
        }
        return dict;
    }
    default:
        return nullptr;
    }
}

}  // namespace

std::optional<QVariantMap> dictionaryFromData(const QByteArray& data) {
    if (data.isEmpty()) return QVariantMap{};
    if (static_cast<uint64_t>(data.size()) > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    CNumericLocaleScope cLocale;
    plist_t raw = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &raw);
    PlistPtr root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
    return toVariant(root.get(), 0).toMap();
}

bool isStorable(const QVariant& value) {
    return fromVariant(value, 0) != nullptr;
}

QByteArray xmlFromDictionary(const QVariantMap& dictionary) {
    CNumericLocaleScope cLocale;
    PlistPtr dict(plist_new_dict());
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        PlistPtr child = fromVariant(it.value(), 1);
        if (child) plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child.release());
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict.get(), &xml, &length);
    MallocPtr<char> owned(xml);
    return xml ? QByteArray(xml, static_cast<qsizetype>(length)) : QByteArray();
}

ReadResult readFile(const QString& path) {
    // Larger files are not preference files; refusing them keeps a stray path from eating memory.
    constexpr qint64 kMaxBytes = 64 * 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {std::nullopt, file.errorString()};
    if (file.size() > kMaxBytes) return {std::nullopt, QStringLiteral("file too large")};
    const QByteArray data = file.read(kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) return {std::nullopt, file.errorString()};
    if (data.size() > kMaxBytes) return {std::nullopt, QStringLiteral("file too large")};
    auto dict = dictionaryFromData(data);
    if (!dict) return {std::nullopt, QStringLiteral("not a property list dictionary")};
    return {std::move(dict), {}};
}

QString writeFile(const QString& path, const QVariantMap& dictionary) {
    const QByteArray xml = xmlFromDictionary(dictionary);
    if (xml.isEmpty()) return QStringLiteral("could not encode the property list");
    if (const int err = replaceFileContents(pathBytesFromQString(path), std::string_view(xml.constData(), size_t(xml.size()))))
        return QString::fromLocal8Bit(std::strerror(err));
    return {};
}

}  // namespace zelvane::PropertyList
