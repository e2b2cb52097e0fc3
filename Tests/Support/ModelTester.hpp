#pragma once

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <QStringList>
#include <memory>

namespace zelvane::testsupport {

// Watches a model with QAbstractItemModelTester for as long as it lives: the structure is checked
// at once and again after every change the model announces. Complaints become test failures
// (with the tester's message) when `complaints()` is read or the watch ends.
class ModelTester final {
public:
    explicit ModelTester(QAbstractItemModel* model);
    ~ModelTester();
    ModelTester(const ModelTester&) = delete;
    ModelTester& operator=(const ModelTester&) = delete;

    // Every complaint so far; each is reported once as a failure of the running test.
    QStringList complaints();

private:
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

}  // namespace zelvane::testsupport
