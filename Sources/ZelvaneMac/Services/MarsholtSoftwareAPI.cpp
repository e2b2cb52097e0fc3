#include "ZelvaneMac/Services/MarsholtSoftwareAPI.hpp"

#include <QStringDecoder>
#include <QUrlQuery>

#include <charconv>
#include <cmath>
#include <string>

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane::MarsholtSoftwareAPI {

namespace {

bool isLineBreak(QChar c) {
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == 0x0B || u == 0x0C || u == 0x85 || u == 0x2028 || u == 0x2029;
}

bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.isRelative() && (scheme == u"https" || scheme == u"http") && !url.host().isEmpty();
}

}  // namespace

QUrl requestURL(const QString& serverBase, const QString& version, bool isNewInstall) {
    QUrl base(serverBase, QUrl::StrictMode);
    if (!isWebAddress(base)) return {};
    QString path = base.path();
    while (path.endsWith(u'/')) path.chop(1);
    base.setPath(path + QStringLiteral("/files/zelvanemacversion.php"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("ver"), version);
    // The server keeps one version line per platform; this program is the Linux one.
    query.addQueryItem(QStringLiteral("platform"), QStringLiteral("linux"));
    if (isNewInstall) query.addQueryItem(QStringLiteral("newinstall"), QStringLiteral("1"));
    base.setQuery(query);
    return base;
}

std::optional<double> strictDecimal(const QString& text) {
    const std::string s = text.toStdString();
    if (s.empty()) return std::nullopt;
    // from_chars alone would take "1.5x" as 1.5 and reads "nan" and "inf": only digits, one point
    // and a leading sign make a version number.
    for (char c : s) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+')) return std::nullopt;
    }
    const char* begin = s.data();
    if (*begin == '+') ++begin;
    double value = 0;
    const auto [end, ec] = std::from_chars(begin, s.data() + s.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

UpdateCheckResult parseReply(const QByteArray& body, const QString& version) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(body);
    if (decoder.hasError()) return UpdateFailed{localized("Malformed response")};

    std::optional<QString> received, info;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && !isLineBreak(text[i])) continue;
        const QStringView line = QStringView(text).mid(start, i - start);
        start = i + 1;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) continue;
        const QStringView key = line.left(eq);
        if (key == u"VERSION") received = line.mid(eq + 1).toString();
        else if (key == u"INFOURL") info = line.mid(eq + 1).toString();
    }
    if (!received) return NoUpdate{};
    const auto theirs = strictDecimal(*received), ours = strictDecimal(version);
    if (!theirs || !ours || !(*ours < *theirs)) return NoUpdate{};
    if (!info) return NoUpdate{};
    const QUrl url(*info, QUrl::StrictMode);
    // The address is shown to the user and opened on a click: only an absolute web address will do.
    if (!isWebAddress(url)) return NoUpdate{};
    return UpdateAvailable{*received, url};
}

UpdateCheckResult resultOfLoad(const QString& error, const QByteArray& body, const QString& version) {
    if (!error.isEmpty()) return UpdateFailed{error};
    return parseReply(body, version);
}

}  // namespace zelvane::MarsholtSoftwareAPI
