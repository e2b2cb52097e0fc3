#include "ZelvaneMac/Core/Text/StringsFile.hpp"

#include <QFile>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace zelvane {

namespace {

// The text and whether any bytes were not valid in its encoding (they became U+FFFD).
QString decode(const QByteArray& data, bool& hadInvalidBytes) {
    const auto starts = [&](std::initializer_list<unsigned char> bom) {
        if (data.size() < qsizetype(bom.size())) return false;
        qsizetype i = 0;
        for (unsigned char b : bom)
            if (static_cast<unsigned char>(data[i++]) != b) return false;
        return true;
    };
    std::optional<QStringDecoder> decoder;
    qsizetype skip = 0;
    if (starts({0xEF, 0xBB, 0xBF})) {
        decoder.emplace(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        skip = 3;
    } else if (starts({0xFF, 0xFE})) {
        decoder.emplace(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        skip = 2;
    } else if (starts({0xFE, 0xFF})) {
        decoder.emplace(QStringDecoder::Utf16BE, QStringDecoder::Flag::Stateless);
        skip = 2;
    } else {
        decoder.emplace(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    }
    QString text = decoder->decode(QByteArrayView(data).sliced(skip));
    hadInvalidBytes = decoder->hasError();
    return text;
}

bool isBareWordCharacter(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'-' || c == u'$' || c == u':' || c == u'/';
}

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

class Parser {
public:
    Parser(const QString& text, bool hadInvalidBytes) : text_(text), hadInvalidBytes_(hadInvalidBytes) {}

    void run(StringsFileContents& out) {
        while (true) {
            if (!skipSpaceAndComments()) {
                fail(QStringLiteral("a comment is not closed"));
                return;
            }
            if (atEnd()) return;
            entryLine_ = line_;
            entryStart_ = pos_;
            QString error;
            if (!entry(out, error)) {
                out.problems.append({entryLine_, error});
                skipRestOfEntryLine();
            }
        }
    }

    QList<StringsFileProblem> trailing;

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    QChar peek(qsizetype ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : QChar();
    }
    void advance() {
        if (text_[pos_] == u'\n') ++line_;
        ++pos_;
    }

    void fail(const QString& message) { trailing.append({line_, message}); }

    // False when a block comment runs to the end of the text.
    bool skipSpaceAndComments() {
        while (!atEnd()) {
            if (peek().isSpace()) {
                advance();
            } else if (peek() == u'/' && peek(1) == u'*') {
                const int startLine = line_;
                advance();
                advance();
                while (!atEnd() && !(peek() == u'*' && peek(1) == u'/')) advance();
                if (atEnd()) {
                    line_ = startLine;
                    return false;
                }
                advance();
                advance();
            } else if (peek() == u'/' && peek(1) == u'/') {
                while (!atEnd() && peek() != u'\n') advance();
            } else {
                break;
            }
        }
        return true;
    }

    // Resumes on the line after the one the broken entry started on, so an unclosed quote cannot
    // swallow the rest of the file.
    void skipRestOfEntryLine() {
        pos_ = entryStart_;
        line_ = entryLine_;
        while (!atEnd() && peek() != u'\n') advance();
        if (!atEnd()) advance();
    }

    bool entry(StringsFileContents& out, QString& error) {
        QString key;
        if (!string(key, error)) return false;
        if (!skipSpaceAndComments()) {
            error = QStringLiteral("a comment is not closed");
            return false;
        }
        QString value;
        if (peek() == u';') {
            value = key;
        } else if (peek() == u'=') {
            advance();
            if (!skipSpaceAndComments()) {
                error = QStringLiteral("a comment is not closed");
                return false;
            }
            if (!string(value, error)) return false;
            if (!skipSpaceAndComments()) {
                error = QStringLiteral("a comment is not closed");
                return false;
            }
            if (peek() != u';') {
                error = QStringLiteral("expected ';' after the value");
                return false;
            }
        } else {
            error = QStringLiteral("expected '=' or ';' after the key");
            return false;
        }
        advance();
        // A replaced byte would show as U+FFFD in place of a letter (every umlaut of a table
        // saved in Latin-1): such an entry is left out, so its English text is shown instead.
        const QChar replaced(0xFFFD);
        if (hadInvalidBytes_ && (key.contains(replaced) || value.contains(replaced))) {
            out.problems.append({entryLine_, QStringLiteral("the entry holds bytes that are not valid in the file's encoding")});
            return true;
        }
        out.entries.insert(key, value);
        return true;
    }

    bool string(QString& result, QString& error) {
        if (peek() == u'"') return quoted(result, error);
        while (!atEnd() && isBareWordCharacter(peek())) {
            result += peek();
            advance();
        }
        if (result.isEmpty()) {
            error = atEnd() ? QStringLiteral("the entry ends early") : QStringLiteral("expected a quoted string");
            return false;
        }
        return true;
    }

    bool quoted(QString& result, QString& error) {
        advance();
        while (true) {
            if (atEnd()) {
                error = QStringLiteral("a quoted string is not closed");
                return false;
            }
            const QChar c = peek();
            advance();
            if (c == u'"') return true;
            if (c != u'\\') {
                result += c;
                continue;
            }
            if (atEnd()) {
                error = QStringLiteral("a quoted string is not closed");
                return false;
            }
            const QChar e = peek();
            advance();
            switch (e.unicode()) {
            case u'n': result += u'\n'; break;
            case u't': result += u'\t'; break;
            case u'r': result += u'\r'; break;
            case u'a': result += u'\a'; break;
            case u'b': result += u'\b'; break;
            case u'f': result += u'\f'; break;
            case u'v': result += u'\v'; break;
            case u'u':
            case u'U': {
                char16_t unit = 0;
                int digits = 0;
                for (; digits < 4 && hexValue(peek()) >= 0; ++digits) {
                    unit = char16_t(unit * 16 + hexValue(peek()));
                    advance();
                }
                if (digits == 0) {
                    error = QStringLiteral("\\U needs hexadecimal digits");
                    return false;
                }
                result += QChar(unit);
                break;
            }
            default:
                if (e >= u'0' && e <= u'7') {
                    int value = e.unicode() - u'0';
                    for (int i = 0; i < 2 && peek() >= u'0' && peek() <= u'7'; ++i) {
                        value = value * 8 + (peek().unicode() - u'0');
                        advance();
                    }
                    result += QChar(char16_t(value));
                } else {
                    // \" \\ \' and any other character stand for themselves.
                    result += e;
                }
            }
        }
    }

    const QString& text_;
    const bool hadInvalidBytes_;
    qsizetype pos_ = 0;
    int line_ = 1;
    int entryLine_ = 1;
    qsizetype entryStart_ = 0;
};

}  // namespace

StringsFileContents parseStringsFile(const QByteArray& data) {
    StringsFileContents out;
    bool hadInvalidBytes = false;
    const QString text = decode(data, hadInvalidBytes);
    Parser parser(text, hadInvalidBytes);
    parser.run(out);
    out.problems.append(parser.trailing);
    return out;
}

StringsFileContents readStringsFile(const QString& path) {
    // Tables are some hundred KiB; one far larger (or a device that never ends) is none of ours.
    constexpr qsizetype kMaxBytes = 16 * 1024 * 1024;
    StringsFileContents out;
    const auto fail = [&](const QString& why) {
        out.problems.append({0, QStringLiteral("cannot be read: %1").arg(why)});
        return out;
    };
    // Only a regular file is read, and it is judged by what was opened: a FIFO in a table's place
    // would block the open until some writer came, and /dev/zero would never end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode)) return fail(QStringLiteral("not a regular file"));
    const QByteArray data = file.read(kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) return fail(file.errorString());
    if (data.size() > kMaxBytes) return fail(QStringLiteral("larger than 16 MiB"));
    return parseStringsFile(data);
}

}  // namespace zelvane
