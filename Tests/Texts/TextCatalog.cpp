#include "TextCatalog.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <optional>
#include <vector>

namespace zelvane::texts {

namespace {

struct Token {
    enum Kind { identifier, literal, punctuation } kind;
    QByteArray text;  // the identifier, the literal's decoded bytes, or the punctuation character
    int line;
};

bool isIdentifierStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isIdentifierChar(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUtf8(QByteArray& out, char32_t code) {
    out += QString::fromUcs4(&code, 1).toUtf8();
}

// The C++ lexer reduced to what finding string literals needs: comments, preprocessor lines,
// character and number literals are skipped so that their quotes never start a string.
class Lexer {
public:
    explicit Lexer(const QByteArray& source) : s_(source) {}

    std::vector<Token> run() {
        std::vector<Token> out;
        bool lineStart = true;
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (c == '\n') {
                ++line_;
                ++i_;
                lineStart = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++i_;
                continue;
            }
            if (c == '#' && lineStart) {
                skipDirective();
                continue;
            }
            lineStart = false;
            if (c == '/' && peek(1) == '/') {
                while (i_ < s_.size() && s_[i_] != '\n') ++i_;
            } else if (c == '/' && peek(1) == '*') {
                i_ += 2;
                while (i_ < s_.size() && !(s_[i_] == '*' && peek(1) == '/')) {
                    if (s_[i_] == '\n') ++line_;
                    ++i_;
                }
                i_ += 2;
            } else if (c == '"') {
                out.push_back({Token::literal, quoted(), line_});
            } else if (c == '\'') {
                characterLiteral();
            } else if (c >= '0' && c <= '9') {
                // Digit separators (1'000) would otherwise open a character literal.
                while (i_ < s_.size() && (isIdentifierChar(s_[i_]) || s_[i_] == '.' || s_[i_] == '\'')) ++i_;
            } else if (isIdentifierStart(c)) {
                const qsizetype start = i_;
                while (i_ < s_.size() && isIdentifierChar(s_[i_])) ++i_;
                const QByteArray word = s_.mid(start, i_ - start);
                if (i_ < s_.size() && s_[i_] == '"' && isLiteralPrefix(word)) {
                    if (word.endsWith('R')) out.push_back({Token::literal, raw(), line_});
                    else out.push_back({Token::literal, quoted(), line_});
                } else if (i_ < s_.size() && s_[i_] == '\'' && isLiteralPrefix(word) && !word.endsWith('R')) {
                    characterLiteral();
                } else {
                    out.push_back({Token::identifier, word, line_});
                }
            } else {
                out.push_back({Token::punctuation, QByteArray(1, c), line_});
                ++i_;
            }
        }
        return out;
    }

private:
    char peek(qsizetype ahead) const { return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0'; }

    static bool isLiteralPrefix(const QByteArray& w) {
        return w == "u8" || w == "u" || w == "U" || w == "L" || w == "R" || w == "u8R" || w == "uR" || w == "UR" ||
               w == "LR";
    }

    void skipDirective() {
        while (i_ < s_.size() && s_[i_] != '\n') {
            if (s_[i_] == '\\' && peek(1) == '\n') {
                ++line_;
                ++i_;
            }
            ++i_;
        }
    }

    void characterLiteral() {
        ++i_;
        while (i_ < s_.size() && s_[i_] != '\'' && s_[i_] != '\n') i_ += s_[i_] == '\\' ? 2 : 1;
        ++i_;
    }

    QByteArray raw() {
        ++i_;  // the opening quote
        const qsizetype open = s_.indexOf('(', i_);
        if (open < 0) {
            i_ = s_.size();
            return {};
        }
        const QByteArray closing = ')' + s_.mid(i_, open - i_) + '"';
        const qsizetype end = s_.indexOf(closing, open + 1);
        const qsizetype stop = end < 0 ? s_.size() : end;
        const QByteArray body = s_.mid(open + 1, stop - open - 1);
        line_ += int(body.count('\n'));
        i_ = end < 0 ? s_.size() : end + closing.size();
        return body;
    }

    QByteArray quoted() {
        ++i_;  // the opening quote
        QByteArray out;
        while (i_ < s_.size() && s_[i_] != '"' && s_[i_] != '\n') {
            const char c = s_[i_++];
            if (c != '\\' || i_ >= s_.size()) {
                out += c;
                continue;
            }
            const char e = s_[i_++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'a': out += '\a'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'v': out += '\v'; break;
            case '\n': ++line_; break;
            case 'x': {
                int value = 0;
                while (i_ < s_.size() && hexDigit(s_[i_]) >= 0) value = value * 16 + hexDigit(s_[i_++]);
                out += char(value);
                break;
            }
            case 'u':
            case 'U': {
                char32_t value = 0;
                for (int k = 0; k < (e == 'u' ? 4 : 8) && i_ < s_.size() && hexDigit(s_[i_]) >= 0; ++k)
                    value = value * 16 + char32_t(hexDigit(s_[i_++]));
                appendUtf8(out, value);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    int value = e - '0';
                    for (int k = 0; k < 2 && i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '7'; ++k)
                        value = value * 8 + (s_[i_++] - '0');
                    out += char(value);
                } else {
                    out += e;  // \" \' \\ \?
                }
            }
        }
        ++i_;  // the closing quote
        return out;
    }

    const QByteArray& s_;
    qsizetype i_ = 0;
    int line_ = 1;
};

bool isPunctuation(const Token& t, char c) { return t.kind == Token::punctuation && t.text.size() == 1 && t.text[0] == c; }

// The literal argument starting at `i` (after the opening parenthesis): adjacent literals joined,
// optionally inside one QStringLiteral/QLatin1String/QString::fromUtf8 wrapper. None when the
// argument is anything else.
std::optional<QByteArray> literalArgument(const std::vector<Token>& tokens, size_t i) {
    size_t closers = 1;
    if (i < tokens.size() && tokens[i].kind == Token::identifier &&
        (tokens[i].text == "QStringLiteral" || tokens[i].text == "QLatin1String" || tokens[i].text == "u8")) {
        if (i + 1 >= tokens.size() || !isPunctuation(tokens[i + 1], '(')) return std::nullopt;
        i += 2;
        closers = 2;
    }
    QByteArray joined;
    size_t pieces = 0;
    while (i < tokens.size() && tokens[i].kind == Token::literal) {
        joined += tokens[i++].text;
        ++pieces;
    }
    if (pieces == 0) return std::nullopt;
    for (size_t k = 0; k < closers; ++k, ++i)
        if (i >= tokens.size() || !isPunctuation(tokens[i], ')')) return std::nullopt;
    return joined;
}

}  // namespace

void collectFromSource(const QByteArray& source, const QString& place, CollectedTexts& into) {
    const std::vector<Token> tokens = Lexer(source).run();
    for (const Token& t : tokens)
        if (t.kind == Token::literal) into.literals.insert(QString::fromUtf8(t.text));
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind != Token::identifier || !isPunctuation(tokens[i + 1], '(')) continue;
        const bool lookup = t.text == "localized";
        if (!lookup && t.text != "textKey") continue;
        // A declaration or definition of the function itself is no lookup.
        if (i > 0 && tokens[i - 1].kind == Token::identifier &&
            (tokens[i - 1].text == "QString" || tokens[i - 1].text == "char")) continue;
        if (i > 0 && tokens[i - 1].kind == Token::punctuation && tokens[i - 1].text == "*" && i > 1 &&
            tokens[i - 2].text == "char") continue;
        const QString site = place + QLatin1Char(':') + QString::number(t.line);
        if (const std::optional<QByteArray> key = literalArgument(tokens, i + 2))
            into.keys[QString::fromUtf8(*key)].append(site);
        else if (lookup)
            into.indirectLookups.append(site);
    }
}

CollectedTexts collectFromTree(const QString& sourceRoot) {
    CollectedTexts out;
    QStringList files;
    QDirIterator it(sourceRoot, {QStringLiteral("*.cpp"), QStringLiteral("*.hpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();  // the same order, so the same messages, on every run
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        collectFromSource(file.readAll(), path.mid(sourceRoot.size() + 1), out);
    }
    return out;
}

TableReport compareTable(const QHash<QString, QString>& table, const QList<QString>& keysToTranslate,
                         const QStringList& untranslated) {
    TableReport report;
    const QSet<QString> wanted(keysToTranslate.begin(), keysToTranslate.end());
    const QSet<QString> english(untranslated.begin(), untranslated.end());
    for (const QString& key : keysToTranslate) {
        if (english.contains(key)) continue;
        const auto it = table.constFind(key);
        if (it == table.constEnd()) {
            report.missing << key;
            continue;
        }
        if (placeholderSignature(key) != placeholderSignature(*it))
            report.placeholderMismatches << quotedForStringsFile(key) + QStringLiteral(" -> ") + quotedForStringsFile(*it);
        if (it->trimmed().isEmpty() && !key.trimmed().isEmpty()) report.problems << QStringLiteral("empty value for ") + quotedForStringsFile(key);
    }
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        if (!wanted.contains(it.key()) || english.contains(it.key())) report.unused << it.key();
    report.unused.sort();
    return report;
}

QString quotedForStringsFile(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        default: out += c;
        }
    }
    return out + u'"';
}

}  // namespace zelvane::texts
