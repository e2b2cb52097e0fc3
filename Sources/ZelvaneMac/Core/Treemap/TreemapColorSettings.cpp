#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace zelvane {

QColor DeviceRGBColor::toQColor() const {
    auto unit = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return QColor::fromRgbF(float(unit(red)), float(unit(green)), float(unit(blue)), float(unit(alpha)));
}

HSL rgbToHSL(double r, double g, double b) {
    const double mx = std::max(std::max(r, g), b);
    const double mn = std::min(std::min(r, g), b);
    HSL out;
    out.l = (mx + mn) * 0.5;
    if (mx == mn) return out;
    const double d = mx - mn;
    out.s = out.l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    double h;
    if (mx == r)
        h = (g - b) / d + (g < b ? 6 : 0);
    else if (mx == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    out.h = h / 6;
    return out;
}

double hueToRGB(double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6.0) return p + (q - p) * 6 * t;
    if (t < 1.0 / 2.0) return q;
    if (t < 2.0 / 3.0) return p + (q - p) * (2.0 / 3.0 - t) * 6;
    return p;
}

DeviceRGBColor darkenColor(int r, int g, int b, double percent) {
    const HSL hsl = rgbToHSL(r / 255.0, g / 255.0, b / 255.0);
    double l = percent * hsl.l;
    if (l <= 0) l = 0;
    if (hsl.s > 0) {
        const double q = l < 0.5 ? l * (1 + hsl.s) : l + hsl.s - l * hsl.s;
        const double p = 2 * l - q;
        return {hueToRGB(p, q, hsl.h + 1.0 / 3.0), hueToRGB(p, q, hsl.h), hueToRGB(p, q, hsl.h - 1.0 / 3.0), 1};
    }
    return {l, l, l, 1};
}

TreemapRGB resolveTreemapColor(const DeviceRGBColor& color) {
    return {float(color.red) * 255.0f, float(color.green) * 255.0f, float(color.blue) * 255.0f};
}

TreemapRGB resolveTreemapColor(const QColor& color) {
    if (!color.isValid()) return resolveTreemapColor(DeviceRGBColor{0.5, 0.5, 0.5, 1});
    const QColor rgb = color.toRgb();
    return resolveTreemapColor(DeviceRGBColor{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()});
}

namespace {

// Rounds half away from zero into an int, saturating (NaN gives 0).
int roundedComponent(float v) {
    if (!(v == v)) return 0;
    const double r = std::round(double(v));
    if (r >= double(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (r <= double(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return int(r);
}

}  // namespace

TreemapRGB freeSpaceRGB(std::span<const TreemapRGB> paletteRGB) {
    const TreemapRGB gray = paletteRGB.size() > size_t(kGraySlot)
                                ? paletteRGB[kGraySlot]
                                : TreemapColorSettings::paletteRGB({})[kGraySlot];
    return resolveTreemapColor(
        darkenColor(roundedComponent(gray.r), roundedComponent(gray.g), roundedComponent(gray.b), 2.0));
}

const std::array<DeviceRGBColor, 12>& treemapDefaultPalette() {
    static const std::array<DeviceRGBColor, 12> palette = {
        darkenColor(220, 114, 18, 0.7), darkenColor(198, 203, 6, 0.7),  darkenColor(27, 147, 39, 0.8),
        darkenColor(109, 40, 165, 1.0), darkenColor(151, 43, 86, 0.9),  darkenColor(18, 124, 220, 0.9),
        darkenColor(11, 6, 203, 1.6),   darkenColor(147, 27, 135, 1.1), darkenColor(196, 13, 13, 0.9),
        darkenColor(108, 150, 40, 0.7), darkenColor(22, 226, 179, 0.7), darkenColor(96, 62, 21, 1.0),
    };
    return palette;
}

DeviceRGBColor treemapDefaultGrayColor() { return {72 / 255.0, 72 / 255.0, 72 / 255.0, 1}; }

DeviceRGBColor treemapBackgroundColor() {
    static const DeviceRGBColor color = darkenColor(72, 72, 72, 0.8);
    return color;
}

DeviceRGBColor treemapSelectionColor() { return {1, 1, 1, 1}; }
DeviceRGBColor treemapHoverColor() { return {176 / 255.0, 176 / 255.0, 176 / 255.0, 1}; }

const PaletteRGB& defaultPaletteRGB() {
    static const PaletteRGB palette = [] {
        PaletteRGB p;
        for (const DeviceRGBColor& c : treemapDefaultPalette()) p.push_back(resolveTreemapColor(c));
        p.push_back(resolveTreemapColor(treemapDefaultGrayColor()));
        return p;
    }();
    return palette;
}

PaletteRGB normalizedPaletteRGB(std::span<const TreemapRGB> paletteRGB) {
    PaletteRGB out(paletteRGB.begin(), paletteRGB.end());
    if (out.size() < kPaletteSlotCount) {
        const PaletteRGB defaults = TreemapColorSettings::paletteRGB({});
        out.insert(out.end(), defaults.begin() + std::ptrdiff_t(out.size()), defaults.end());
    }
    return out;
}

namespace TreemapColorSettings {

namespace {

QStringList normalizedTo13(const QStringList& stored, const QStringList& defaults) {
    QStringList out = stored.mid(0, qsizetype(kPaletteSlotCount));
    for (qsizetype i = out.size(); i < qsizetype(kPaletteSlotCount); ++i) out.append(defaults[i]);
    return out;
}

bool isBlank(QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; }

}  // namespace

const QStringList& defaultColors() {
    static const QStringList colors = [] {
        QStringList list;
        for (const DeviceRGBColor& c : treemapDefaultPalette()) list.append(hexString(c));
        list.append(hexString(treemapDefaultGrayColor()));
        return list;
    }();
    return colors;
}

const QStringList& defaultExtensionLists() {
    static const QStringList lists = {
        QStringLiteral("mp3,ogg,wav,wma,m4a,aac,flac,aiff,aif,caf"),
        QStringLiteral("mkv,mp4,mpeg,mpg,mov,ogm,ogv,swf,webm,wmv,m4v"),
        QStringLiteral("bmp,gif,jpeg,jpg,pcx,png,tga,tif,tiff,heic,heif,webp,icns"),
        QStringLiteral("7z,ace,arj,cab,gz,gzip,jar,rar,tar,tgz,z,zip,bz2,xz,zst,tbz,tbz2,txz,sit,sitx"),
        QStringLiteral("exe"),
        QStringLiteral("dll,dylib"),
        QStringLiteral("sys"),
        QStringLiteral("txt,log,rtf"),
        QStringLiteral("vdi,vhd,vhdx,qcow,vmdk,hdd"),
        QStringLiteral("iso,nrg,bin,dmg,sparseimage,cdr,toast"),
        QStringLiteral("doc,dot,wbk,docx,xls,xlsx,ppt,pptx,pub,pages,numbers,key"),
        QStringLiteral("msi,pkg"),
        QString(),
    };
    return lists;
}

const QStringList& colorBlindColors() {
    static const QStringList colors = {
        QStringLiteral("88CCEE"), QStringLiteral("44AA99"), QStringLiteral("332288"), QStringLiteral("117733"),
        QStringLiteral("999933"), QStringLiteral("DDCC77"), QStringLiteral("CC6677"), QStringLiteral("AA4499"),
        QStringLiteral("882255"), QStringLiteral("202020"), QStringLiteral("202020"), QStringLiteral("202020"),
        QStringLiteral("202020"),
    };
    return colors;
}

QString hexString(const DeviceRGBColor& color) {
    auto byte = [](double component) {
        const double v = std::round(component * 255);
        return v >= 255 ? 255 : v > 0 ? int(v) : 0;
    };
    return QStringLiteral("%1%2%3")
        .arg(byte(color.red), 2, 16, QLatin1Char('0'))
        .arg(byte(color.green), 2, 16, QLatin1Char('0'))
        .arg(byte(color.blue), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString hexString(const QColor& color) {
    if (!color.isValid()) return hexString(DeviceRGBColor{0.5, 0.5, 0.5, 1});
    const QColor rgb = color.toRgb();
    return hexString(DeviceRGBColor{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()});
}

ColorRank colorRank(const QStringList& extensionLists) {
    ColorRank rank;
    for (qsizetype i = 0; i < extensionLists.size(); ++i) {
        const QStringList pieces = extensionLists[i].split(u',', Qt::SkipEmptyParts);
        for (const QString& piece : pieces) {
            qsizetype from = 0, to = piece.size();
            while (from < to && isBlank(piece[from])) ++from;
            while (to > from && isBlank(piece[to - 1])) --to;
            if (from == to) continue;
            rank.insert_or_assign(piece.mid(from, to - from).toLower().toStdString(), int(i));
        }
    }
    return rank;
}

QString encodeStringArray(const QStringList& strings) {
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(strings)).toJson(QJsonDocument::Compact));
}

std::optional<QStringList> decodeStringArray(const QString& json) {
    if (json.isEmpty()) return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    QStringList out;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString()) return std::nullopt;
        out.append(v.toString());
    }
    return out;
}

QStringList paletteColors(const QString& storedJSON) {
    return normalizedTo13(decodeStringArray(storedJSON).value_or(defaultColors()), defaultColors());
}

QStringList extensionLists(const QString& storedJSON) {
    return normalizedTo13(decodeStringArray(storedJSON).value_or(defaultExtensionLists()),
                          defaultExtensionLists());
}

TreemapRGB rgbFromHexString(const QString& text) {
    auto hexDigit = [&](qsizetype i) -> int {
        if (i >= text.size()) return -1;
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    };
    // Leading white space and a "0x" prefix are accepted; scanning stops at the first
    // character that is not a hexadecimal digit, and a number too large saturates.
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    if (hexDigit(i) == 0 && i + 1 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
        hexDigit(i + 2) >= 0)
        i += 2;
    uint64_t value = 0;
    for (int digit; (digit = hexDigit(i)) >= 0; ++i) {
        if (value > (std::numeric_limits<uint64_t>::max() >> 4)) {
            value = std::numeric_limits<uint64_t>::max();
            break;
        }
        value = (value << 4) | uint64_t(digit);
    }
    return {float((value >> 16) & 0xFF), float((value >> 8) & 0xFF), float(value & 0xFF)};
}

PaletteRGB paletteRGB(const QStringList& colors) {
    const QStringList& defaults = defaultColors();
    PaletteRGB out;
    out.reserve(kPaletteSlotCount);
    for (size_t i = 0; i < kPaletteSlotCount; ++i)
        out.push_back(rgbFromHexString(qsizetype(i) < colors.size() ? colors[qsizetype(i)] : defaults[qsizetype(i)]));
    return out;
}

}  // namespace TreemapColorSettings

uint8_t paletteSlot(const ColorRank& rank, std::string_view ext) {
    const auto it = rank.find(ext);
    if (it == rank.end() || it->second < 0 || it->second > 255) return uint8_t(kGraySlot);
    return uint8_t(it->second);
}

}  // namespace zelvane
