#include "ZelvaneMac/Core/Settings/Preferences.hpp"

#include "Platform/FileReplacement.hpp"
#include "Platform/RegularFile.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaObject>
#include <QStandardPaths>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

namespace zelvane {
namespace {

bool isIntegerType(int typeId) {
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

std::optional<QStringList> decodeJSONStringList(const QString& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    QStringList list;
    const QJsonArray array = doc.array();
    list.reserve(array.size());
    for (const QJsonValue& v : array) {
        if (!v.isString()) return std::nullopt;
        list.append(v.toString());
    }
    return list;
}

}  // namespace

// What a store holds of its file.
struct Preferences::File {
    QString path;
    QVariantMap onDisk;  // as last read or written
    // Changes not yet written, applied on top of whatever the file holds when they are written;
    // none stands for a removal.
    std::map<QString, std::optional<QVariant>> pending;
    QVariantMap values;  // `onDisk` with `pending` applied: what every read sees

    void applyPending() {
        values = onDisk;
        for (const auto& [key, value] : pending) {
            if (value) values.insert(key, *value);
            else values.remove(key);
        }
    }
};

namespace {

struct FileContents {
    QVariantMap values;
    QString problem;          // empty when the values are the file's
    bool unreadable = false;  // the file exists but could not be read: it must not be written over
    bool malformed = false;   // the file was read but is no property list
    QString readError;        // why it could not be read
};

// A missing file holds nothing; a file that is no property list reads as empty.
FileContents readContents(const QString& path) {
    if (!QFileInfo::exists(path)) return {};
    PropertyList::ReadResult read = PropertyList::readFile(path);
    if (read.dictionary) return {std::move(*read.dictionary), {}, false, false, {}};
    if (read.couldNotRead) return {{}, QStringLiteral("cannot read %1: %2").arg(path, read.error), true, false, read.error};
    return {{}, QStringLiteral("%1 is not a property list").arg(path), false, true, {}};
}

// "<name>.malformed", then "<name>.malformed.2", ...: every broken file that is replaced keeps a
// copy of its own; none takes the place of an earlier one.
QString malformedCopyPath(const QString& path, int n) {
    return n <= 1 ? path + QStringLiteral(".malformed") : path + QStringLiteral(".malformed.%1").arg(n);
}

// A file that is no property list is about to be replaced: its bytes are kept beside it first, so
// that a settings file cut short or mistyped by hand is never lost. Empty on success (`keptAs`
// names the copy), else why.
QString keepMalformedCopy(const QString& path, QString& keptAs) {
    constexpr int kMostCopies = 1000;
    for (int n = 1; n <= kMostCopies; ++n) {
        const QString candidate = malformedCopyPath(path, n);
        if (QFileInfo(candidate).exists() || QFileInfo(candidate).isSymLink()) continue;
        RegularFileOpening source = openRegularFile(pathBytesFromQString(path));
        if (source.error) return QString::fromLocal8Bit(std::strerror(source.error));
        ReplacementFile copy;
        int error = copy.open(pathBytesFromQString(candidate), ReplacementFile::Mode::createNew);
        char buffer[64 * 1024];
        while (error == 0) {
            const ssize_t count = ::read(source.fd.get(), buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) return QString::fromLocal8Bit(std::strerror(errno));
            if (count == 0) break;
            error = copy.write(std::string_view(buffer, size_t(count)));
        }
        if (error == 0) error = copy.commit();
        if (error == EEXIST) continue;  // taken meanwhile
        if (error) return QString::fromLocal8Bit(std::strerror(error));
        keptAs = candidate;
        return {};
    }
    return QString::fromLocal8Bit(std::strerror(EEXIST));
}

bool isSymbolicLink(const QString& path) { return QFileInfo(path).isSymLink(); }

}  // namespace

QString Preferences::standardFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/ZelvaneMac/ZelvaneMac.plist");
}

Preferences::Preferences() : Preferences(standardFilePath()) {}

Preferences::Preferences(const QString& filePath, QObject* parent)
    : QObject(parent), file_(std::make_unique<File>()) {
    file_->path = QFileInfo(filePath).absoluteFilePath();
    file_->onDisk = readContents(file_->path).values;
    file_->applyPending();
}

Preferences::~Preferences() {
    if (file_->pending.empty()) return;
    // Too late for anyone to be told by the signal: the reason goes to standard error.
    const SaveOutcome outcome = save();
    if (!outcome.failure.isEmpty() && !saveFailureReported_)
        qWarning("ZelvaneMac: settings could not be saved to %s: %s", qPrintable(file_->path),
                 qPrintable(outcome.failure));
}

QString Preferences::filePath() const { return file_->path; }

QVariant Preferences::object(const QString& key) const { return file_->values.value(key); }

std::optional<bool> Preferences::boolValue(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() != QMetaType::Bool) return std::nullopt;
    return v.toBool();
}

std::optional<int64_t> Preferences::integerValue(const QString& key) const {
    const QVariant v = object(key);
    if (!isIntegerType(v.typeId())) return std::nullopt;
    return static_cast<int64_t>(v.toLongLong());
}

std::optional<double> Preferences::doubleValue(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float) return std::nullopt;
    return v.toDouble();
}

std::optional<QString> Preferences::stringValue(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString();
}

bool Preferences::value(const BoolKey& key) const {
    return boolValue(preferenceKeyName(key)).value_or(key.defaultValue);
}

int64_t Preferences::value(const IntKey& key) const {
    return integerValue(preferenceKeyName(key)).value_or(key.defaultValue);
}

QString Preferences::value(const StringKey& key) const {
    if (auto s = stringValue(preferenceKeyName(key))) return *s;
    return QString::fromUtf8(key.defaultValue.data(), qsizetype(key.defaultValue.size()));
}

std::optional<QStringList> Preferences::jsonStringList(const StringKey& key) const {
    return decodeJSONStringList(value(key));
}

void Preferences::recordChange(const QString& key, std::optional<QVariant> value) {
    if (value) file_->values.insert(key, *value);
    else file_->values.remove(key);
    file_->pending.insert_or_assign(key, std::move(value));
    if (flushQueued_) return;
    flushQueued_ = true;
    // Changes made in one go are written together, once control is back in the event loop.
    QMetaObject::invokeMethod(
        this,
        [this] {
            flushQueued_ = false;
            if (!file_->pending.empty()) synchronize();
        },
        Qt::QueuedConnection);
}

void Preferences::store(const QString& key, const QVariant& value) {
    const QVariant old = object(key);
    recordChange(key, value);
    if (old.typeId() != value.typeId() || old != value) emit changed(key);
}

void Preferences::set(const BoolKey& key, bool value) { store(preferenceKeyName(key), value); }

void Preferences::set(const IntKey& key, int64_t value) {
    store(preferenceKeyName(key), static_cast<qlonglong>(value));
}

void Preferences::set(const StringKey& key, const QString& value) { store(preferenceKeyName(key), value); }

void Preferences::setStringList(const StringKey& key, const QStringList& list) {
    const QByteArray json = QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact);
    set(key, json.isEmpty() ? QStringLiteral("[]") : QString::fromUtf8(json));
}

bool Preferences::setObject(const QString& key, const QVariant& value) {
    if (!PropertyList::isStorable(value)) return false;
    store(key, value);
    return true;
}

void Preferences::remove(const QString& key) {
    const bool had = file_->values.contains(key);
    recordChange(key, std::nullopt);
    if (had) emit changed(key);
}

QStringList Preferences::allKeys() const { return file_->values.keys(); }

QVariantMap Preferences::dictionaryRepresentation() const { return file_->values; }

QString Preferences::synchronize() {
    const SaveOutcome outcome = save();
    if (!outcome.failure.isEmpty() && !saveFailureReported_) {
        saveFailureReported_ = true;
        emit saveFailed(file_->path, outcome.failure);
    }
    return outcome.problem;
}

Preferences::SaveOutcome Preferences::save() {
    File& file = *file_;
    FileContents contents = readContents(file.path);
    QString problem = std::move(contents.problem);
    // A file broken since it was read (written over by another program, cut short) tells nothing
    // of the settings: those held stay, and are what replaces it.
    if (!contents.unreadable && !contents.malformed) file.onDisk = std::move(contents.values);
    file.applyPending();
    if (file.pending.empty()) return {problem, {}};
    if (contents.unreadable) return {problem, contents.readError};

    if (contents.malformed) {
        QString kept;
        if (const QString failure = keepMalformedCopy(file.path, kept); !failure.isEmpty())
            return {QStringLiteral("%1; it is left as it is, as it could not be kept: %2").arg(problem, failure), failure};
        problem = QStringLiteral("%1; it was kept as %2").arg(problem, kept);
    }
    // The writer does not make the folder; the first write into a fresh home needs it.
    QDir().mkpath(QFileInfo(file.path).absolutePath());
    // A link that named a file of settings is written through (a settings folder kept elsewhere);
    // one that named anything else is replaced itself, and what it named is never written.
    const bool replaceLink = contents.malformed && isSymbolicLink(file.path);
    if (const QString failure = PropertyList::writeFile(file.path, file.values, replaceLink); !failure.isEmpty())
        return {QStringLiteral("cannot write %1: %2").arg(file.path, failure), failure};
    file.onDisk = file.values;
    file.pending.clear();
    return {problem, {}};
}

}  // namespace zelvane
