#include "ZelvaneMac/Models/NodeCells.hpp"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QMimeData>
#include <QUrl>

#include <unordered_set>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

QString nameToolTip(const FileNode& node) {
    return plainToolTip(shownName(qStringFromUtf8(node.fullPath())));
}

QVariant typedSearchAsShown(int role, const QVariant& value, Qt::MatchFlags flags) {
    if (role != Qt::DisplayRole || (flags & Qt::MatchTypeMask) != Qt::MatchStartsWith || value.typeId() != QMetaType::QString)
        return value;
    return shownNameStart(value.toString());
}

std::optional<QString> hoverPathOf(const FileNode* node) {
    if (!node) return std::nullopt;
    return qStringFromUtf8(node->fullPath());
}

TextTone nodeTextTone(const FileNode& node, bool nameCell, bool allocatedCell) {
    if (node.isDeleted()) return TextTone::deleted;
    if (nameCell) {
        if (node.dosAttributes & 0x2) return TextTone::secondary;
        if (node.dosAttributes & 0x800) return TextTone::compressed;
    }
    if (allocatedCell && node.doNotCountAllocated()) return TextTone::secondary;
    return TextTone::normal;
}

int64_t countedAllocatedShare(const FileNode& node) {
    return node.doNotCountAllocated() ? 0 : node.effectiveAllocSize();
}

QString modifiedDateText(const FileNode& node) {
    const QDateTime t = QDateTime::fromSecsSinceEpoch(int64_t(node.modifiedDateRaw) + kReferenceDateUnixSeconds);
    return QLocale().toString(t, QLocale::ShortFormat);
}

QMimeData* fileURLsMimeData(const std::vector<const FileNode*>& nodes) {
    QList<QUrl> urls;
    urls.reserve(qsizetype(nodes.size()));
    std::unordered_set<const FileNode*> seen;
    for (const FileNode* n : nodes) {
        if (!n || !seen.insert(n).second) continue;
        urls.push_back(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(n->pathBytes()))));
    }
    if (urls.isEmpty()) return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

QMimeData* fileURLsMimeData(const QModelIndexList& indexes, const std::function<const FileNode*(const QModelIndex&)>& nodeOf) {
    std::vector<const FileNode*> nodes;
    nodes.reserve(size_t(indexes.size()));
    for (const QModelIndex& i : indexes) nodes.push_back(nodeOf(i));
    return fileURLsMimeData(nodes);
}

}  // namespace zelvane
