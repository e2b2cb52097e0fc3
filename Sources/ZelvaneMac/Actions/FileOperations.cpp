#include "ZelvaneMac/Actions/FileOperations.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "Platform/FileDescriptor.hpp"
#include "Platform/FileMoves.hpp"
#include "Platform/ItemAccess.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

namespace {

constexpr const char* kTagsAttribute = "user.xdg.tags";
constexpr char16_t kReplacement = 0xFFFD;

bool isSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// The units as an editor shows them: each unpaired surrogate (an escaped byte among them) as one
// U+FFFD, everything else as it is; positions stay the same.
std::u16string shownUnits(std::u16string_view name) {
    std::u16string out(name);
    for (size_t i = 0; i < out.size(); ++i) {
        const char16_t u = out[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
            ++i;
        } else if (isSurrogate(u)) {
            out[i] = kReplacement;
        }
    }
    return out;
}

}  // namespace

QString trimmedNewName(const QString& name) {
    qsizetype from = 0;
    qsizetype to = name.size();
    while (from < to && name.at(from).isSpace()) ++from;
    while (to > from && name.at(to - 1).isSpace()) --to;
    return name.mid(from, to - from);
}

const char* invalidNameReason(const QString& trimmedName) {
    if (trimmedName.isEmpty()) return textKey("The name is empty.");
    if (trimmedName == QLatin1String(".") || trimmedName == QLatin1String(".."))
        return textKey("The names \".\" and \"..\" are reserved.");
    if (trimmedName.contains(QLatin1Char('/')) || trimmedName.contains(QChar(0)))
        return textKey("A name can't contain \"/\" or a NUL character.");
    return nullptr;
}

std::u16string editedName(std::u16string_view name, const QString& edited) {
    const std::u16string shown = shownUnits(name);
    const std::u16string_view typed(reinterpret_cast<const char16_t*>(edited.utf16()), size_t(edited.size()));
    // What stayed at both ends was not edited: it takes the original units back.
    size_t prefix = 0;
    while (prefix < shown.size() && prefix < typed.size() && shown[prefix] == typed[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < shown.size() - prefix && suffix < typed.size() - prefix &&
           shown[shown.size() - 1 - suffix] == typed[typed.size() - 1 - suffix])
        ++suffix;
    std::u16string out(name.substr(0, prefix));
    out += typed.substr(prefix, typed.size() - prefix - suffix);
    out += name.substr(name.size() - suffix);
    return out;
}

int renameItem(const std::string& path, const std::string& newName) {
    if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos ||
        newName.find('\0') != std::string::npos)
        return EINVAL;
    ItemInFolder item;
    if (int err = openItemFolder(path, item)) return err;
    return renameNoReplace(item.folder.get(), item.name, item.folder.get(), newName);
}

int makeLinkBeside(const std::string& path, const std::function<std::string(int)>& nameFor, std::string* madeName) {
    ItemInFolder item;
    if (int err = openItemFolder(path, item)) return err;
    ItemFacts facts;
    if (int err = readItemFacts(item.folder.get(), item.name, facts)) return err;
    for (int n = 1; n < 1000000; ++n) {
        const std::string name = nameFor(n);
        // The link names its item relatively, so it keeps working when the folder moves.
        if (::symlinkat(item.name.c_str(), item.folder.get(), name.c_str()) == 0) {
            if (madeName) *madeName = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

int setTags(const std::string& path, const std::vector<std::string>& tags) {
    ItemInFolder item;
    if (int err = openItemFolder(path, item)) return err;
    const std::string reach = pathThroughDescriptor(item.folder.get(), item.name);
    if (tags.empty()) {
        if (::lremovexattr(reach.c_str(), kTagsAttribute) == 0 || errno == ENODATA) return 0;
        return errno;
    }
    std::string value;
    for (const auto& t : tags) {
        if (!value.empty()) value += ',';
        value += t;
    }
    return ::lsetxattr(reach.c_str(), kTagsAttribute, value.data(), value.size(), 0) == 0 ? 0 : errno;
}

std::vector<std::string> readTags(const std::string& path) {
    std::vector<std::string> out;
    ItemInFolder item;
    if (openItemFolder(path, item) != 0) return out;
    const std::string reach = pathThroughDescriptor(item.folder.get(), item.name);
    ssize_t size = ::lgetxattr(reach.c_str(), kTagsAttribute, nullptr, 0);
    if (size <= 0) return out;
    std::string value(size_t(size), '\0');
    size = ::lgetxattr(reach.c_str(), kTagsAttribute, value.data(), value.size());
    if (size < 0) return out;
    value.resize(size_t(size));
    size_t from = 0;
    while (from <= value.size()) {
        size_t comma = value.find(',', from);
        if (comma == std::string::npos) comma = value.size();
        if (comma > from) out.push_back(value.substr(from, comma - from));
        from = comma + 1;
    }
    return out;
}

}  // namespace zelvane
