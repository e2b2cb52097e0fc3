#pragma once

#include <QObject>

#include <QString>
#include <cstdint>

namespace zelvane {

// What the File View's search has found: its text, how many rows and how many bytes they hold,
// and whether duplicates are being looked for. The status bar shows the totals. Main thread only.
class FileViewResults final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QString& fileFilterText() const { return fileFilterText_; }
    void setFileFilterText(const QString& value);
    int fileResultCount() const { return fileResultCount_; }
    void setFileResultCount(int value);
    int64_t fileResultTotalSize() const { return fileResultTotalSize_; }
    void setFileResultTotalSize(int64_t value);
    int64_t fileResultTotalAlloc() const { return fileResultTotalAlloc_; }
    void setFileResultTotalAlloc(int64_t value);
    bool fileIsLocatingDuplicates() const { return fileIsLocatingDuplicates_; }
    void setFileIsLocatingDuplicates(bool value);

signals:
    void fileFilterTextChanged(const QString& value);
    void fileResultCountChanged(int value);
    void fileResultTotalSizeChanged(int64_t value);
    void fileResultTotalAllocChanged(int64_t value);
    void fileIsLocatingDuplicatesChanged(bool value);

private:
    QString fileFilterText_;
    int fileResultCount_ = 0;
    int64_t fileResultTotalSize_ = 0;
    int64_t fileResultTotalAlloc_ = 0;
    bool fileIsLocatingDuplicates_ = false;
};

}  // namespace zelvane
