#include "ZelvaneMac/Core/Settings/PropertyList.hpp"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTimeZone>

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <memory>
#include <string_view>
#include <vector>

#include "Platform/FileReplacement.hpp"
#include "Platform/RegularFile.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
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
constexpr int kMaxDepth = kMaxNesting;

// How deep <array> and <dict> elements nest in XML text. Comments, processing instructions,
// declarations and character data are passed over; text inside elements cannot hold a raw "<".
bool xmlNestsDeeperThan(std::string_view xml, int limit) {
    int depth = 0;
    size_t at = 0;
    auto skipPast = [&](std::string_view end) {
        const size_t found = xml.find(end, at);
        at = found == std::string_view::npos ? xml.size() : found + end.size();
    };
    while ((at = xml.find('<', at)) != std::string_view::npos) {
        const std::string_view rest = xml.substr(at);
        if (rest.starts_with("<!--")) { skipPast("-->"); continue; }
        if (rest.starts_with("<![CDATA[")) { skipPast("]]>"); continue; }
        if (rest.starts_with("<?")) { skipPast("?>"); continue; }
        if (rest.starts_with("<!")) { skipPast(">"); continue; }
        const bool closing = rest.starts_with("</");
        size_t nameStart = at + (closing ? 2 : 1);
        size_t nameEnd = nameStart;
        while (nameEnd < xml.size() && (std::isalnum(static_cast<unsigned char>(xml[nameEnd])) || xml[nameEnd] == '_')) ++nameEnd;
        const std::string_view name = xml.substr(nameStart, nameEnd - nameStart);
        const size_t close = xml.find('>', nameEnd);
        if (close == std::string_view::npos) return false;
        const bool selfClosing = xml[close - 1] == '/';
        at = close + 1;
        if (name != "array" && name != "dict") continue;
        if (closing) --depth;
        else if (!selfClosing && ++depth > limit) return true;
    }
    return false;
}

// A binary list's objects are numbered and containers refer to their members by number, so the
// nesting is measured from the top object without recursion; a container met again on its own
// path (a cycle) counts as too deep.
bool binaryNestsDeeperThan(std::string_view data, int limit) {
    constexpr size_t kTrailer = 32;
    if (data.size() < 8 + kTrailer) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    auto readBigEndian = [&](size_t at, size_t width, uint64_t& out) {
        if (width == 0 || width > 8 || at > data.size() || data.size() - at < width) return false;
        out = 0;
        for (size_t i = 0; i < width; ++i) out = (out << 8) | bytes[at + i];
        return true;
    };
    const size_t trailer = data.size() - kTrailer;
    const size_t offsetWidth = bytes[trailer + 6];
    const size_t refWidth = bytes[trailer + 7];
    uint64_t count = 0, top = 0, table = 0;
    if (!readBigEndian(trailer + 8, 8, count) || !readBigEndian(trailer + 16, 8, top) ||
        !readBigEndian(trailer + 24, 8, table))
        return false;
    if (count == 0 || top >= count || table >= data.size() || (data.size() - table) / std::max<size_t>(offsetWidth, 1) < count)
        return false;
    // The members of object `index` when it is an array, set or dictionary (a dictionary's keys are
    // strings: only its values can nest).
    auto members = [&](uint64_t index, std::vector<uint64_t>& out) {
        out.clear();
        uint64_t offset = 0;
        if (!readBigEndian(size_t(table + index * offsetWidth), offsetWidth, offset) || offset >= data.size()) return false;
        const unsigned char marker = bytes[offset];
        const unsigned kind = marker >> 4;
        if (kind != 0xA && kind != 0xB && kind != 0xC && kind != 0xD) return false;
        uint64_t n = marker & 0x0F;
        size_t at = size_t(offset) + 1;
        if (n == 0x0F) {
            if (at >= data.size() || (bytes[at] >> 4) != 0x1) return true;
            const size_t width = size_t(1) << (bytes[at] & 0x0F);
            if (!readBigEndian(at + 1, width, n)) return true;
            at += 1 + width;
        }
        if (kind == 0xD) at += size_t(std::min<uint64_t>(n, data.size())) * refWidth;
        if (n > (data.size() - std::min(at, data.size())) / std::max<size_t>(refWidth, 1)) return true;
        for (uint64_t i = 0; i < n; ++i) {
            uint64_t ref = 0;
            if (!readBigEndian(at + size_t(i) * refWidth, refWidth, ref) || ref >= count) continue;
            out.push_back(ref);
        }
        return true;
    };
    // Each container's height (the levels at and below it) is found once, after its members':
    // a member shared by several containers is measured once, and measured right.
    struct Frame {
        uint64_t object;
        std::vector<uint64_t> members;
        size_t next = 0;
        int tallestMember = 0;
    };
    // One byte per object: its height once measured (never above limit + 1), or one of these.
    constexpr uint8_t kUnmeasured = 0xFF;
    constexpr uint8_t kOnPath = 0xFE;
    if (limit >= kOnPath - 1) limit = kOnPath - 2;
    std::vector<uint8_t> height(size_t(count), kUnmeasured);
    std::vector<Frame> path(1);
    path.back().object = top;
    if (!members(top, path.back().members)) return false;
    height[size_t(top)] = kOnPath;
    while (!path.empty()) {
        Frame& frame = path.back();
        if (frame.next == frame.members.size()) {
            const int own = frame.tallestMember + 1;
            if (own > limit) return true;
            height[size_t(frame.object)] = uint8_t(own);
            path.pop_back();
            if (!path.empty()) path.back().tallestMember = std::max(path.back().tallestMember, own);
            continue;
        }
        const uint64_t child = frame.members[frame.next++];
        const uint8_t known = height[size_t(child)];
        if (known == kOnPath) return true;
        if (known != kUnmeasured) {
            frame.tallestMember = std::max(frame.tallestMember, int(known));
            continue;
        }
        Frame next;
        next.object = child;
        if (!members(child, next.members)) {
            height[size_t(child)] = 0;
            continue;
        }
        if (int(path.size()) >= limit) return true;
        height[size_t(child)] = kOnPath;
        path.push_back(std::move(next));
    }
    return false;
}

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
    if (nestsDeeperThan(data, kMaxNesting)) return std::nullopt;
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
    constexpr size_t kMaxBytes = 64 * 1024 * 1024;
    RegularFileBytes read = readRegularFile(pathBytesFromQString(path), kMaxBytes);
    if (read.error == EFBIG) return {std::nullopt, QStringLiteral("file too large")};
    if (read.notRegular) return {std::nullopt, localized("Not a regular file (a device, pipe or socket)"), true};
    if (read.error) return {std::nullopt, QString::fromLocal8Bit(std::strerror(read.error)), true};
    const QByteArray data = QByteArray::fromStdString(read.bytes);
    auto dict = dictionaryFromData(data);
    if (!dict) return {std::nullopt, QStringLiteral("not a property list dictionary")};
    return {std::move(dict), {}};
}

bool nestsDeeperThan(const QByteArray& data, int limit) {
    const std::string_view bytes(data.constData(), size_t(data.size()));
    if (bytes.starts_with("bplist00")) return binaryNestsDeeperThan(bytes, limit);
    return xmlNestsDeeperThan(bytes, limit);
}

QString writeFile(const QString& path, const QVariantMap& dictionary, bool replaceLink) {
    const QByteArray xml = xmlFromDictionary(dictionary);
    if (xml.isEmpty()) return QStringLiteral("could not encode the property list");
    ReplacementFile file;
    int err = file.open(pathBytesFromQString(path), replaceLink ? ReplacementFile::Mode::replaceLink : ReplacementFile::Mode::replace);
    if (!err) err = file.write(std::string_view(xml.constData(), size_t(xml.size())));
    if (!err) err = file.commit();
    if (err) return QString::fromLocal8Bit(std::strerror(err));
    return {};
}

}  // namespace zelvane::PropertyList
