#include "ZelvaneMac/Core/Text/Localization.hpp"

#include <QLocale>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <optional>
#include <span>
#include <vector>

namespace zelvane {

namespace {

// Installed once at start-up, read from any thread that formats a text.
std::atomic<std::shared_ptr<const StringsTable>>& activeTable() {
    static std::atomic<std::shared_ptr<const StringsTable>> table;
    return table;
}

QString decimalText(double value, int places) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, places);
    if (result.ec != std::errc()) return QString::number(value, 'f', places);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString argumentAsText(const FormatArgument& argument) {
    if (const auto* text = std::get_if<QString>(&argument)) return *text;
    if (const auto* whole = std::get_if<int64_t>(&argument)) return QString::number(*whole);
    const double value = std::get<double>(argument);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// Whether the bidirectional algorithm could move part of the text away from the rest inside a
// right-to-left sentence: anything but letters, combining marks and digits can.
bool needsIsolation(const QString& text) {
    for (const QChar c : text)
        if (!c.isLetterOrNumber() && !c.isMark()) return true;
    return false;
}

// Marks rather than isolates (U+2066..U+2069): Qt draws both alike, but places the cursor and
// measures text correctly only around marks.
QString isolatedIn(bool rightToLeftFormat, QString text) {
    if (text.isEmpty() || !rightToLeftFormat || !needsIsolation(text)) return text;
    const QChar mark(text.isRightToLeft() ? 0x200F : 0x200E);
    return mark + text + mark;
}

QString argumentAsWhole(const FormatArgument& argument) {
    if (const auto* value = std::get_if<double>(&argument)) return QString::number(int64_t(*value));
    return argumentAsText(argument);
}

QString argumentAsDecimal(const FormatArgument& argument, int places) {
    if (const auto* value = std::get_if<double>(&argument)) return decimalText(*value, places);
    if (const auto* whole = std::get_if<int64_t>(&argument)) return decimalText(double(*whole), places);
    return std::get<QString>(argument);
}

}  // namespace

QString localized(const QString& englishKey) {
    const std::shared_ptr<const StringsTable> table = activeTable().load(std::memory_order_acquire);
    if (!table) return englishKey;
    const auto it = table->entries.constFind(englishKey);
    return it == table->entries.constEnd() ? englishKey : *it;
}

QString localized(const char* englishKey) { return localized(QString::fromUtf8(englishKey)); }

void installStringsTable(std::shared_ptr<const StringsTable> table) {
    activeTable().store(std::move(table), std::memory_order_release);
}

std::shared_ptr<const StringsTable> installedStringsTable() {
    return activeTable().load(std::memory_order_acquire);
}

namespace {

// A format reads in the direction of its first strong character outside the placeholders (the
// "d" of "%d" is no word of the sentence); one of placeholders and punctuation alone ("«%@»: %@")
// joins the sentences of the interface language and reads in its direction.
bool readsRightToLeft(const QString& format, const std::vector<FormatPlaceholder>& placeholders) {
    qsizetype i = 0;
    const auto firstStrong = [&](qsizetype end) -> std::optional<bool> {
        for (; i < end; ++i) {
            const QChar::Direction d = format[i].direction();
            if (d == QChar::DirL) return false;
            if (d == QChar::DirR || d == QChar::DirAL) return true;
        }
        return std::nullopt;
    };
    for (const FormatPlaceholder& p : placeholders) {
        if (const auto rightToLeft = firstStrong(p.start)) return *rightToLeft;
        i = p.start + p.length;
    }
    if (const auto rightToLeft = firstStrong(format.size())) return *rightToLeft;
    const std::shared_ptr<const StringsTable> table = installedStringsTable();
    return table && QLocale(table->language).textDirection() == Qt::RightToLeft;
}

QString fill(const QString& format, std::span<const FormatArgument> args) {
    const std::vector<FormatPlaceholder> placeholders = formatPlaceholders(format);
    const bool rightToLeft = readsRightToLeft(format, placeholders);
    QString out;
    out.reserve(format.size() + 16);
    // Between placeholders the text stands as written but for "%%", a percent sign.
    const auto text = [&](qsizetype from, qsizetype to) {
        out += QStringView(format).mid(from, to - from).toString().replace(QStringLiteral("%%"), QStringLiteral("%"));
    };
    qsizetype copied = 0;
    for (const FormatPlaceholder& p : placeholders) {
        text(copied, p.start);
        copied = p.start + p.length;
        if (!p.known() || p.argument >= args.size()) {
            out += QStringView(format).mid(p.start, p.length);
            continue;
        }
        const FormatArgument& argument = args[p.argument];
        if (p.kind == u'@') out += isolatedIn(rightToLeft, argumentAsText(argument));
        else if (p.kind == u'f') out += argumentAsDecimal(argument, p.places.value_or(6));
        else out += argumentAsWhole(argument);
    }
    text(copied, format.size());
    return out;
}

}  // namespace

std::vector<FormatPlaceholder> formatPlaceholders(const QString& format) {
    std::vector<FormatPlaceholder> out;
    size_t nextSequential = 0;
    qsizetype i = 0;
    const qsizetype n = format.size();
    while (i < n) {
        if (format[i] != u'%') {
            ++i;
            continue;
        }
        FormatPlaceholder p;
        p.start = i++;
        if (i < n && format[i] == u'%') {
            ++i;
            continue;
        }
        // Optional position: digits followed by '$'.
        qsizetype j = i;
        size_t number = 0;
        while (j < n && format[j].isDigit() && j - i < 3) number = number * 10 + size_t(format[j++].digitValue());
        if (j > i && j < n && format[j] == u'$' && number > 0) {
            p.positional = true;
            p.argument = number - 1;
            i = j + 1;
        }
        // Optional precision.
        if (i < n && format[i] == u'.') {
            qsizetype k = i + 1;
            int value = 0;
            while (k < n && format[k].isDigit() && k - i <= 2) value = value * 10 + format[k++].digitValue();
            p.places = value;
            i = k;
        }
        // Length modifiers of whole numbers.
        while (i < n && (format[i] == u'l' || format[i] == u'q')) ++i;
        if (i < n) p.kind = format[i++];
        p.length = i - p.start;
        if (p.known() && !p.positional) p.argument = nextSequential++;
        out.push_back(p);
    }
    return out;
}

QStringList placeholderSignature(const QString& format) {
    std::vector<FormatPlaceholder> items = formatPlaceholders(format);
    QStringList known;
    QStringList unknown;
    std::stable_sort(items.begin(), items.end(),
                     [](const FormatPlaceholder& a, const FormatPlaceholder& b) { return a.argument < b.argument; });
    for (const FormatPlaceholder& p : items) {
        if (p.known()) {
            const QString kind = p.kind == u'@' ? QStringLiteral("@")
                                 : p.kind == u'f' ? (p.places ? QStringLiteral(".%1f").arg(*p.places) : QStringLiteral("f"))
                                                  : QStringLiteral("d");
            known << QStringLiteral("%1:%2").arg(p.argument + 1).arg(kind);
        } else if (p.kind.isLetter() || p.positional) {
            // A percent sign before a space or punctuation is text ("100 %"); before a letter it
            // is a placeholder that would stay unfilled.
            unknown << format.mid(p.start, p.length);
        }
    }
    unknown.sort();
    return known + unknown;
}

QString fillFormat(const QString& format, std::initializer_list<FormatArgument> arguments) {
    return fill(format, std::span<const FormatArgument>(arguments.begin(), arguments.size()));
}

QString fillPlaceholders(QString format, std::initializer_list<QString> values) {
    const std::vector<FormatArgument> args(values.begin(), values.end());
    return fill(format, args);
}

}  // namespace zelvane
